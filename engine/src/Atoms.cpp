#include "engine/src/Atoms.h"

Atoms &Atoms::instance() {
  // Never destroyed: threads the host never stops may still call in while
  // the process exits.
  static Atoms *atoms = new Atoms;
  return *atoms;
}

som_atom_t Atoms::atom(const char *name) {
  if (!name)
    return 0;
  std::lock_guard<std::mutex> guard(lock);
  auto it = atoms.find(name);
  if (it != atoms.end())
    return it->second;
  names.emplace_back(name);
  const som_atom_t atom = names.size();
  atoms.emplace(names.back(), atom);
  return atom;
}

const char *Atoms::name(som_atom_t atom) {
  std::lock_guard<std::mutex> guard(lock);
  if (atom == 0 || atom > names.size())
    return nullptr;
  return names[atom - 1].c_str();
}
