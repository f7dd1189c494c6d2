#pragma once

namespace host {
// The built-in demo session: scenarios/demo.tlh, built into the program.
const char* DemoScript();
}  // namespace host
