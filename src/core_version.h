// The program's name and version, shared by the window and the tests.
#pragma once

const char* QuillProductName();
const char* QuillProductVersion();
