#pragma once

#include <string>

// The panel's texts are UTF-8; the window system gets and gives UTF-16.
std::wstring toWide(const std::string& utf8);
std::string toUtf8(const std::wstring& wide);
