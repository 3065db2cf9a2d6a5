// Smallest host of a compass module.
#include "compass/compass.hpp"

int main() {
    return get_magneto(setup_magneto()) > 0.0 ? 0 : 1;
}
