#pragma once
// The executable-identity module: what the update check says about an executable (its
// displayed product, company and version) and the registry lookups behind some of its rules.
#include "identity/company.h"
#include "identity/identity.h"
#include "identity/uninstall.h"
#include "identity/version_text.h"
