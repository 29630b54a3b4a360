#include "platform/exceptions.h"

#include "text/format.h"

#include <utility>

CVException::CVException(std::string text) : message(std::move(text)) {}

CVException::~CVException() = default;

const char* CVException::what() const noexcept { return message.c_str(); }

CVSystemException::CVSystemException(DWORD code) : CVException(GetSystemErrorText(code)), error(code) {}
