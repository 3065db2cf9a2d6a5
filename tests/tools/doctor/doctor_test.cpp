// compass-doctor's checks on the simulated board: each named scene's findings and verdict, the
// parts neither scene has, and that it writes only to parts that identified themselves.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>

#include "doctor.hpp"
#include "sim/board.hpp"

namespace {

struct run_result {
    int status;
    std::string out;
};

run_result run_doctor() {
    char* buf = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&buf, &size);
    const int status = doctor::run(out);
    (void)std::fclose(out);
    run_result r{status, std::string(buf, size)};
    std::free(buf);
    return r;
}

// Every write goes to a part whose identification was read, and matched, before it.
void expect_writes_only_to_identified_parts() {
    bool known[128] = {};
    for (const sim::transfer& t : sim::board().log()) {
        if (t.kind == sim::op::read && t.addr >= 0) {
            const bool mpu =
                t.reg == 0x75 && (t.value == 0x68 || t.value == 0x71 || t.value == 0x73);
            const bool ak = t.addr == 0x0C && t.reg == 0x00 && t.value == 0x48;
            const bool hmc = t.addr == 0x1E && t.reg == 0x0C && t.value == '3';
            known[t.addr] = known[t.addr] || ((t.addr == 0x68 && mpu) || ak || hmc);
        }
        if (t.kind == sim::op::write) {
            EXPECT_TRUE(t.addr >= 0 && known[t.addr])
                << "write of register 0x" << std::hex << t.reg << " to 0x" << t.addr;
        }
    }
}

// One line per expected finding, and the verdict, as regular expressions over the output.
struct scene_case {
    const char* scene;
    int status;
    const char* findings;
};

const scene_case scenes[] = {
    {"sound", 0,
     "ok    0x68: MPU-6050/9150 .*ok    0x0C: AK8975 behind the bypass.*ok    0x0C: single "
     "measurement ready within the module's 8 ms.*ok    0x1E: HMC5883L.*ok    verdict: use "
     "bypassmag \\(AK8975 behind MPU-6050/9150 at 0x68\\) or directmag \\(HMC5883L at 0x1E\\) on "
     "the simulated board\n$"},
    {"no-bus", 1,
     "^fail  bus: the simulated board does not exist \\(I2C buses here: none\\); enable I2C.*"
     "\nfail  verdict: neither module can work: the simulated board cannot be used\n$"},
    {"no-permission", 1,
     "^fail  bus: .*permission denied; add yourself to the i2c group.*\nfail  verdict"},
    {"kernel-device", 0,
     "fail  0x68: held by a kernel driver .*verdict: use directmag: HMC5883L at 0x1E"},
    {"no-magnetometer", 1,
     "fail  0x0C: nothing answers behind the bypass.*fail  verdict: neither module can work"},
    {"mpu9250", 0,
     "warn  0x68: MPU-9250 \\(WHO_AM_I 0x71\\).*AK8963 behind the bypass.*warn  bypassmag: an "
     "AK8963 "
     "reads at half the scale.*verdict: use .*AK8963 behind MPU-9250 at 0x68"},
    {"qmc5883l", 1,
     "warn  0x0D: QMC5883L \\(chip ID 0xFF at 0x0D\\).*fail  verdict: .*QMC part found is driven "
     "by neither"},
    {"qmc5883p", 1, "warn  0x2C: QMC5883P \\(chip ID 0x80 at 0x00\\).*fail  verdict"},
    {"never-measures", 1,
     "fail  0x0C: .*never measures.*fail  0x1E: .*never measures.*fail  verdict"},
    {"magnet", 1,
     "fail  0x0C: the field saturates.*fail  0x1E: the field saturates.*fail  verdict"},
};

TEST(Doctor, EachSceneGivesItsFindingsAndVerdict) {
    for (const scene_case& c : scenes) {
        SCOPED_TRACE(c.scene);
        ASSERT_TRUE(sim::apply_scene(c.scene));
        const run_result r = run_doctor();
        EXPECT_EQ(r.status, c.status) << r.out;
        EXPECT_TRUE(std::regex_search(r.out, std::regex(c.findings, std::regex::extended)))
            << r.out;
        expect_writes_only_to_identified_parts();
    }
}

TEST(Doctor, PartsNoSceneHas) {
    const struct {
        const char* name;
        void (*fit)();
        const char* finding;
    } cases[] = {
        {"rtc_at_0x68", [] { sim::board().fit(0x68, sim::part::ds3231); },
         "fail  0x68: a device answers, WHO_AM_I \\(0x75\\) reads 0x[0-9A-F]{2}: no motion sensor"},
        {"strapped_to_0x69",
         [] { sim::board().fit(0x68, sim::part::none).fit(0x69, sim::part::mpu6050); },
         "warn  0x69: MPU-6050/9150 strapped to 0x69 \\(AD0 high\\)"},
        {"mpu6500", [] { sim::board().fit(0x68, sim::part::mpu6500); },
         "fail  0x0C: an MPU-6500 has no magnetometer"},
        {"slow_ak8975", [] { sim::board().conversion_time_us(9000); },
         "warn  0x0C: measurement ready only after 9 ms; bypassmag reads at 8 ms"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim::board().reset();
        c.fit();
        const run_result r = run_doctor();
        EXPECT_TRUE(std::regex_search(r.out, std::regex(c.finding, std::regex::extended))) << r.out;
        expect_writes_only_to_identified_parts();
    }
}

TEST(Doctor, SoundBoardTakesAboutTheBusFloor) {
    sim::apply_scene("sound");
    (void)run_doctor();
    // The reset pause, one AK8975 measurement, the HMC5883L's first sample and one period more.
    EXPECT_GT(sim::board().now_ms(), 100.0 + 8 + 27);
    EXPECT_LT(sim::board().now_ms(), 200.0);
}

}  // namespace
