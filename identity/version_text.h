#pragma once
// The displayed version of an executable, as the update check reports it.
#include <string>

// In the form a.b.c.d when usable, otherwise as derived (possibly empty).
std::string DisplayedVersionText(const std::string& Path, const std::string& Product,
                                 const std::string& Company);
// The version text before its normalisation.
std::string DeriveVersionText(const std::string& Path, const std::string& Product,
                              const std::string& Company);
// The leading run of digits, dots, commas and blanks; commas become dots, blanks go.
std::string VersionPrefixText(const std::string& Text);
// Every character a digit or '.'; true for "".
bool IsDigitsAndDots(const std::string& Text);
// Non-empty and parsing to a version above 0.0.0.0.
bool IsUsableVersionText(const std::string& Text);
