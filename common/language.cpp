#include "common.h"

bool GermanUi = false;

void ApplyLanguageRule() { GermanUi = IsGermanLanguage(UserLanguageId()); }
