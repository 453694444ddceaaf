#pragma once
#include <string>

// A double in the script's own text form (Number.prototype.toString):
// 1 -> "1", 1.5 -> "1.5", 1e21 -> "1e+21", NaN -> "NaN".
std::string numberText(double x);
