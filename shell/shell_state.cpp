#include "shell_state.h"

wchar_t TargetFolder[kStatusTextCapacity];
wchar_t StatusText[kStatusTextCapacity];
wchar_t ScratchBuffer[kStatusTextCapacity];
