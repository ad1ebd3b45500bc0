// One node of a filter's topology: its index and its type.
#pragma once

#include <windows.h>

class CKsNode {
public:
    CKsNode(ULONG id, const GUID& type);

    ULONG m_nodeId;
    GUID m_nodeType;
};
