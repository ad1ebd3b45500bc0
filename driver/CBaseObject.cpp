#include "CBaseObject.h"

volatile LONG CBaseObject::s_liveObjects = 0;

CBaseObject::CBaseObject() { InterlockedIncrement(&s_liveObjects); }

CBaseObject::~CBaseObject() { InterlockedDecrement(&s_liveObjects); }

LONG CBaseObject::LiveObjectCount() { return s_liveObjects; }
