#pragma once

namespace host {
// The built-in demo session: a script in the host's own command language.
const char* DemoScript();
}  // namespace host
