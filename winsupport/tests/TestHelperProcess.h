#pragma once
#include "WnHandle.h"

#include <string>

// The full path of wn_test_helper.exe, which is built next to the tests.
std::wstring TestHelperPath();

// Starts the helper with arguments; the returned handle owns the process
// (null when the start failed).
HANDLE StartTestHelper(const std::wstring& arguments);
