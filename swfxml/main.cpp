#include <cstdio>

int main()
{
    std::fputs("swfxml: not built yet\n", stderr);
    return 2;
}
