#pragma once
// Interned names: one atom per distinct UTF-8 name, stable for the process.
#include "engine/include/tidewell/engine-api.h"

#include <deque>
#include <mutex>
#include <string>
#include <unordered_map>

class Atoms {
public:
  static Atoms &instance();
  som_atom_t atom(const char *name);
  // Null for an atom never handed out.
  const char *name(som_atom_t atom);

private:
  std::mutex lock;
  std::deque<std::string> names; // atom n is names[n - 1]
  std::unordered_map<std::string, som_atom_t> atoms;
};
