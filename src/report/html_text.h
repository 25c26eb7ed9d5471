// Text put into an HTML page.
#pragma once

#include <string>
#include <string_view>

// Safe as element text and as a quoted attribute value: markup characters become
// character references; control bytes other than tab and newline, and bytes that are
// not part of valid UTF-8, become U+FFFD.
std::string htmlEscaped(std::string_view text);

// Standard base64 with padding, as data: URLs take it.
std::string base64(std::string_view bytes);

// JSON text made safe inside a <script> element: no "<" can end the element.
// The JSON must have "<" only inside strings, where \u003c means the same.
std::string scriptSafe(std::string_view json);
