// Game text through JsonEscape: whatever the bytes, the result inside double
// quotes is one JSON string that a strict parser accepts (valid UTF-8, no
// raw control characters) and reads back as the text's valid part.
#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <string>

#include "export/JsonText.h"
#include "fuzz/ValidText.h"

using fuzzing::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string escaped = JsonEscape(text);

  for (const char c : escaped) Require(static_cast<unsigned char>(c) >= 0x20);

  nlohmann::json value;
  try {
    value = nlohmann::json::parse("\"" + escaped + "\"");
  } catch (const nlohmann::json::exception&) {
    Require(false);
  }
  Require(value.is_string());
  Require(value.get<std::string>() == fuzzing::ValidText(text));
  // Text with nothing to escape or replace passes byte for byte.
  if (fuzzing::ValidText(text) == text && text.find_first_of("\"\\\t\n\r") == std::string::npos) {
    Require(escaped == text);
  }
  return 0;
}
