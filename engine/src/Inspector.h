#pragma once
// The inspector (the DevTools endpoint) is unauthenticated: whoever reaches
// its port runs script in our pages, NativeUtil included. So it exists only
// in builds made with TW_ENGINE_INSPECTOR (the development and test build,
// whose end-to-end tests drive the programs through it), never in what users
// install, and there only on 127.0.0.1, on the port the engine's own
// variable names, in debug mode.
namespace Inspector {

// The port to listen on, or 0 for none.
int port(bool debug);

} // namespace Inspector
