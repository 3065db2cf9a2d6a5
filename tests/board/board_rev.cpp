// What the wiringPi library itself makes of the board, for the board test to hold the tools' words
// against: prints the GPIO layout piBoardRev() returns (1 for the first boards, 2 for later ones),
// or nothing where wiringPi prints its own lines and ends the program.
#include <cstdio>

#include <wiringPi.h>

int main() {
    (void)std::printf("layout %d\n", piBoardRev());
    return 0;
}
