// compass-doctor's checks: what answers on the bus the kit was built for, what each part is by its
// identification registers, whether it measures a plausible field through the modules' own
// sequences, and which module the board can use.
#pragma once

#include <cstddef>
#include <cstdio>

namespace doctor {

// Exit status of a run: 0 when at least one module's sensor set up and measured a plausible field,
// 1 when none did.
int run(std::FILE* out);

// What the doctor learns of the bus outside the four calls, from the system it runs on
// (facts_*.cpp: the Linux one reads /dev and sysfs; the simulated board has neither).
namespace facts {
// The bus the kit talks to: "/dev/i2c-1", or "the simulated board".
const char* bus_name();
// How that bus was chosen: at build time (fixed), or at run time by the build's bus library
// (chosen: wiringPi, by its own identification of the board), which may also choose none
// (unchosen: it ends the program, or could not be asked; bus_name() is then the configured bus,
// looked at as an i2c-dev build would). what says how, or why not.
enum class choice { fixed, chosen, unchosen };
choice bus_choice(char* what, std::size_t size);
// The board's revision as the system shows it, from the device tree and from /proc/cpuinfo:
// "c03111 (device tree and /proc/cpuinfo)"; false when the two differ, neither holds one, or one
// cannot be read or holds junk.
bool board_revision(char* what, std::size_t size);
// What to rebuild with for another bus.
const char* rebuild_for_other_bus();
// When the bus was chosen at run time: the other buses where a part the kit drives identifies
// itself, e.g. "/dev/i2c-0 (0x68 0x1E)"; empty when there is none.
void parts_elsewhere(char* buf, std::size_t size);
// The /dev/i2c-* that exist, separated by spaces; empty when there is none.
void list_buses(char* buf, std::size_t size);
// The kernel device that holds addr, e.g. "1-0068 (ds3231, driver rtc-ds1307)", and what frees it;
// false when nothing is known of it.
bool holder(int addr, char* who, std::size_t who_size, char* fix, std::size_t fix_size);
// Only the simulated board can be set up as a named scene: false for an unknown name, or on a
// real bus (where scene_name() is nullptr).
bool simulate(const char* scene);
// The i-th scene's name, nullptr past the last.
const char* scene_name(std::size_t i);
}  // namespace facts

}  // namespace doctor
