#pragma once
// The product and company rule tables. The identity pipeline runs them at fixed stages; a
// maintainer adds a vendor's row to a table without touching the pipeline.
#include "identity/rules.h"

namespace rules {

// Product rows, run by DisplayedProductName on P.
const Table& ProductEarlyAnswers();     // when the version strings gave no name; final rows
const Table& ProductQuestionMarks();    // question marks some vendors put inside the name
const Table& ProductRulesA();           // after the question-mark stage
const Table& ProductRulesB();           // after the first trim
const Table& ProductRulesC();           // after the generic clean-up
const Table& ProductAfterVersionWord(); // inside the clean-up, after the trailing version word
const Table& ProductPublisherSuffix();  // inside the clean-up, among the suffix removals

// Company rows, run by NormaliseCompanyText on C between its head and tail.
const Table& CompanyRules();
// Run by DisplayedCompanyName before any normalisation; a final row gives the answer.
const Table& CompanyEarlyAnswers();

} // namespace rules
