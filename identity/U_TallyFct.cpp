#include "identity/U_TallyFct.h"

// The module's operations live in identity.cpp, company.cpp, version_text.cpp and
// uninstall.cpp; their rule tables in name_rules.cpp and version_rules.cpp.
