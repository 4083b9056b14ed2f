#include <cstdio>

int main(int argc, char** argv) {
    (void)argc;
    (void)argv;
    std::puts("usage: tallymere [--scan PATH | --snapshot PATH]");
    return 0;
}
