// Owner of GoogleTest's precompiled header (tests/CMakeLists.txt); it runs no test.
int main() { return 0; }
