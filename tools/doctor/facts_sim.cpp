// The simulated board has no /dev and no sysfs: the doctor names it and knows no kernel devices.
#include "doctor.hpp"
#include "sim/board.hpp"

namespace doctor::facts {

const char* bus_name() {
    return "the simulated board";
}

choice bus_choice(char* what, std::size_t size) {
    if (size > 0) {
        what[0] = '\0';
    }
    return choice::fixed;
}

bool board_revision(char* what, std::size_t size) {
    if (size > 0) {
        what[0] = '\0';
    }
    return true;
}

const char* rebuild_for_other_bus() {
    return "rebuild the kit for a real bus";
}

void parts_elsewhere(char* buf, std::size_t size) {
    if (size > 0) {
        buf[0] = '\0';
    }
}

void list_buses(char* buf, std::size_t size) {
    if (size > 0) {
        buf[0] = '\0';
    }
}

bool holder(int /*addr*/, char* /*who*/, std::size_t /*who_size*/, char* /*fix*/,
            std::size_t /*fix_size*/) {
    return false;
}

bool simulate(const char* scene) {
    return sim::apply_scene(scene);
}

const char* scene_name(std::size_t i) {
    return sim::scene_name(i);
}

}  // namespace doctor::facts
