#pragma once

// Registers the artwork compiled into the ui library (safe to call more than once).
void InitUiResources();
