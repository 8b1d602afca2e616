#include "optree/OptionTree.h"

// Not built yet: the option tree is left as the host made it.
HRESULT CustomizeOptionTree(DWORD, OEMCUIPPARAM*, PluginContext*) { return S_OK; }
