#include "frame/Module.h"

void ReleaseActivationContext(HANDLE) {}
