#pragma once
// The displayed company of an executable, and the generic cleaners of company texts.
#include <string>

// Product may be empty; it is then derived when a row needs it.
std::string DisplayedCompanyName(const std::string& Path, const std::string& Product);
std::string NormaliseCompanyText(const std::string& Text, const std::string& Path,
                                 const std::string& Product);
// Copyright words, years and licence or rights phrases removed, repeated until stable.
std::string StripCopyrightPhrases(const std::string& Text);
