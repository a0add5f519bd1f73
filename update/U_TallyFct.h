#pragma once
// The executable-identity module: what the update check says about an executable (its
// displayed product, company and version) and the registry lookups behind some of its rules.
#include "update/company.h"
#include "update/identity.h"
#include "update/uninstall.h"
#include "update/version_text.h"
