#include "engine/src/NumberText.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

std::string numberText(double x) {
  if (std::isnan(x))
    return "NaN";
  if (std::isinf(x))
    return x > 0 ? "Infinity" : "-Infinity";
  if (x == 0)
    return "0";
  if (x < 0)
    return "-" + numberText(-x);

  // Shortest round-trip digits, then laid out the way scripts print numbers.
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::scientific);
  std::string scientific(buffer, result.ptr);
  const auto ePos = scientific.find('e');
  std::string digits;
  for (size_t i = 0; i < ePos; ++i)
    if (scientific[i] != '.')
      digits += scientific[i];
  const int k = static_cast<int>(digits.size());
  const int n = std::atoi(scientific.c_str() + ePos + 1) + 1;

  if (k <= n && n <= 21)
    return digits + std::string(n - k, '0');
  if (0 < n && n <= 21)
    return digits.substr(0, n) + "." + digits.substr(n);
  if (-6 < n && n <= 0)
    return "0." + std::string(-n, '0') + digits;
  const int e = n - 1;
  const std::string exponent = std::string("e") + (e < 0 ? "-" : "+") + std::to_string(std::abs(e));
  if (k == 1)
    return digits + exponent;
  return digits.substr(0, 1) + "." + digits.substr(1) + exponent;
}
