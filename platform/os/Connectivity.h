#pragma once
// Whether the machine reaches the internet, as the system itself judges it.
// The HTTP client and the script's connectivity query share one source, so
// they never disagree.
class Connectivity {
public:
  virtual ~Connectivity() = default;
  virtual bool isOnline() const = 0;
};
