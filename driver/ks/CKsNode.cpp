#include "CKsNode.h"

#include "KsTrace.h"

#include "CKsIrpTarget.h"
#include "Trace.h"

CKsNode::CKsNode(ULONG id, const GUID& type) : m_nodeId(id), m_nodeType(type) {
    TraceEnter("CKsNode::CKsNode()");
    TraceLeave("CKsNode::CKsNode", 0);
}
