// compass-doctor: checks the board the kit was built for and says which compass module it can use.
#include <cstdio>

#include "doctor.hpp"
#include "options.hpp"

int main(int argc, char** argv) {
    tool::command_line cl(
        argc, argv, "compass-doctor",
        "[--simulate SCENE]\n"
        "  --simulate SCENE  check the simulated board set up as SCENE (only in a\n"
        "                    kit built on the simulated board)\n");
    const char* scene = nullptr;
    while (cl.more()) {
        if (cl.flag("--simulate")) {
            scene = cl.word();
            if (scene == nullptr) {
                cl.refuse("--simulate", "needs a scene");
            } else if (doctor::facts::scene_name(0) == nullptr) {
                cl.refuse("--simulate", "needs the simulated board");
            } else if (!doctor::facts::simulate(scene)) {
                char names[512] = "";
                std::size_t used = 0;
                for (std::size_t i = 0; doctor::facts::scene_name(i) != nullptr; ++i) {
                    const int n =
                        std::snprintf(names + used, sizeof names - used, "%s%s",
                                      i == 0 ? "one of " : ", ", doctor::facts::scene_name(i));
                    used += n > 0 && static_cast<std::size_t>(n) < sizeof names - used
                                ? static_cast<std::size_t>(n)
                                : 0;
                }
                cl.refuse(scene, names);
            }
        } else {
            cl.unknown();
        }
    }
    if (cl.stopped()) {
        return cl.exit_status();
    }
    const int status = doctor::run(stdout);
    (void)std::fflush(stdout);
    return status;
}
