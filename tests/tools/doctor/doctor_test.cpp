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

// Boards no scene has, each judged by the datasheets' values: the parts' identification bytes,
// the AK8975's conversion time (8 ms the module waits, 9 ms at most), the Earth's 25-65 uT and
// the output limits of a saturated sensor. A part that did not identify itself gets no write.
struct part_case {
    const char* name;
    void (*fit)();
    const char* finding;
    int untouched = -1;  // an address that must get no write
};
const part_case part_cases[] = {
    {"rtc_at_0x68", [] { sim::board().fit(0x68, sim::part::ds3231); },
     "fail  0x68: a device answers, WHO_AM_I \\(0x75\\) reads 0x[0-9A-F]{2}: no motion sensor",
     0x68},
    {"strapped_to_0x69",
     [] { sim::board().fit(0x68, sim::part::none).fit(0x69, sim::part::mpu6050); },
     "warn  0x69: MPU-6050/9150 strapped to 0x69 \\(AD0 high\\)"},
    // The motion sensors by WHO_AM_I (register 117 of each part's register map).
    {"mpu6050", [] {},
     "ok    0x68: MPU-6050/9150 \\(WHO_AM_I 0x68\\).*ok    0x0C: AK8975 behind the bypass "
     "\\(WIA 0x48\\)"},
    {"mpu6500", [] { sim::board().fit(0x68, sim::part::mpu6500); },
     "warn  0x68: MPU-6500 \\(WHO_AM_I 0x70\\); bypassmag looks for 0x68.*fail  0x0C: an "
     "MPU-6500 has no magnetometer"},
    {"mpu9250",
     [] { sim::board().fit(0x68, sim::part::mpu9250).fit(0x0C, sim::part::ak8963, 0x68); },
     "warn  0x68: MPU-9250 \\(WHO_AM_I 0x71\\).*ok    0x0C: AK8963 behind the bypass"},
    {"mpu9255",
     [] { sim::board().fit(0x68, sim::part::mpu9255).fit(0x0C, sim::part::ak8963, 0x68); },
     "warn  0x68: MPU-9255 \\(WHO_AM_I 0x73\\).*ok    0x0C: AK8963 behind the bypass"},
    {"who_am_i_0x72", [] { sim::board().force(0x68, 0x75, 0x72); },
     "fail  0x68: a device answers, WHO_AM_I \\(0x75\\) reads 0x72", 0x68},
    {"not_akm", [] { sim::board().force(0x0C, 0x00, 0x49); },
     "fail  0x0C: a device answers, WIA \\(0x00\\) reads 0x49: not an AKM part", 0x0C},
    {"nothing_at_0x68", [] { sim::board().fit(0x68, sim::part::none); },
     "warn  0x68: no device answers .*ok    0x0C: no device answers \\(and no motion sensor"},
    {"ak8975_alone", [] { sim::board().fit(0x68, sim::part::none).fit(0x0C, sim::part::ak8975); },
     "warn  0x0C: a device answers \\(WIA 0x48\\) without a motion sensor in front", 0x0C},
    {"data_read_fails", [] { sim::board().nack_register(0x0C, 0x05); },
     "fail  0x0C: a data register read failed: Remote I/O error"},
    {"status_read_fails", [] { sim::board().nack_register(0x0C, 0x02); },
     "fail  0x0C: the status register ST1 does not read: Remote I/O error"},
    {"nothing_at_0x1E", [] { sim::board().fit(0x1E, sim::part::none); },
     "warn  0x1E: no device answers \\(no HMC5883L where directmag looks\\)"},
    {"hmc_frozen", [] { sim::board().noise(0.0); },
     "fail  0x1E: samples arrive but their data never change"},
    {"rtc_at_0x0D", [] { sim::board().fit(0x0D, sim::part::ds3231); },
     "warn  0x0D: a device answers, 0x0D reads 0x[0-9A-F]{2}: not a QMC5883L"},
    // The HMC5883L is 'H' '4' '3' in IRA, IRB and IRC; one byte off is some other part.
    {"hmc_ira", [] { sim::board().force(0x1E, 0x0A, 0x49); },
     "fail  0x1E: a device answers, identification 0x49 0x34 0x33 .*; left alone", 0x1E},
    {"hmc_irb", [] { sim::board().force(0x1E, 0x0B, 0x35); },
     "fail  0x1E: a device answers, identification 0x48 0x35 0x33 .*; left alone", 0x1E},
    {"hmc_irc", [] { sim::board().force(0x1E, 0x0C, 0x34); },
     "fail  0x1E: a device answers, identification 0x48 0x34 0x34 .*; left alone", 0x1E},
    // Ready at the first look after the 8 ms wait, or at a poll each 1 ms (and a read) on.
    {"ak8975_7.9ms", [] { sim::board().conversion_time_us(7900); },
     "ok    0x0C: single measurement ready within the module's 8 ms"},
    {"ak8975_8.6ms", [] { sim::board().conversion_time_us(8600); },
     "warn  0x0C: measurement ready only after 9 ms; bypassmag reads at 8 ms"},
    {"ak8975_9ms", [] { sim::board().conversion_time_us(9000); },
     "warn  0x0C: measurement ready only after 9 ms; bypassmag reads at 8 ms"},
    {"ak8975_10ms", [] { sim::board().conversion_time_us(10000); },
     "fail  0x0C: measurement ready only after 10 ms, beyond the part's 9 ms maximum"},
    {"ak8975_stalled", [] { sim::board().stall_conversion(); },
     "fail  0x0C: the AK8975's single measurement is not ready 18 ms after the trigger \\(9 ms "
     "at most\\)"},
    // Fields straight down: the AK8975 sees whole 0.3 uT counts (24.6 uT reads 24 after its
    // truncation); the HMC5883L's 1090 counts per gauss come close to the field itself.
    {"field_24.6uT", [] { sim::board().field(0.0, 24.6); },
     "fail  0x0C: field 24 uT after the build's offsets.*fail  0x1E: field [0-9]+ uT after"},
    {"field_25.5uT", [] { sim::board().field(0.0, 25.5); },
     "ok    0x0C: field 25 uT, as the Earth's.*ok    0x1E: field [0-9]+ uT, as the Earth's"},
    {"field_64.5uT", [] { sim::board().field(0.0, 64.5); },
     "ok    0x0C: field 64 uT, as the Earth's.*ok    0x1E: field [0-9]+ uT, as the Earth's"},
    {"field_65.7uT", [] { sim::board().field(0.0, 65.7); },
     "fail  0x0C: field 65 uT after the build's offsets.*fail  0x1E: field [0-9]+ uT after"},
    // The AK8963 counts 0.6 uT: a module reading it as an AK8975 sees half the field.
    {"ak8963_field_24.6uT",
     [] {
         sim::board().fit(0x68, sim::part::mpu9250).fit(0x0C, sim::part::ak8963, 0x68);
         sim::board().field(0.0, 24.6);
     },
     "fail  0x0C: field 24 uT after the build's offsets"},
    {"ak8963_field_26.4uT",
     [] {
         sim::board().fit(0x68, sim::part::mpu9250).fit(0x0C, sim::part::ak8963, 0x68);
         sim::board().field(0.0, 26.4);
     },
     "ok    0x0C: field 26 uT, as the Earth's"},
    // Output limits: the AK8975's 13 bits (+-4095), the AK8963's 14 (+-8190), the HMC5883L's
    // -4096 for an axis out of range. One count inside is a (far too strong) field.
    {"ak8975_x_4095", [] { sim::board().force(0x0C, 0x03, 0xFF).force(0x0C, 0x04, 0x0F); },
     "fail  0x0C: the field saturates the sensor"},
    {"ak8975_y_-4095", [] { sim::board().force(0x0C, 0x05, 0x01).force(0x0C, 0x06, 0xF0); },
     "fail  0x0C: the field saturates the sensor"},
    {"ak8975_x_4094", [] { sim::board().force(0x0C, 0x03, 0xFE).force(0x0C, 0x04, 0x0F); },
     "fail  0x0C: field [0-9]+ uT after the build's offsets"},
    {"ak8963_z_8190",
     [] {
         sim::board().fit(0x68, sim::part::mpu9250).fit(0x0C, sim::part::ak8963, 0x68);
         sim::board().force(0x0C, 0x07, 0xFE).force(0x0C, 0x08, 0x1F);
     },
     "fail  0x0C: the field saturates the sensor"},
    {"ak8963_z_8189",
     [] {
         sim::board().fit(0x68, sim::part::mpu9250).fit(0x0C, sim::part::ak8963, 0x68);
         sim::board().force(0x0C, 0x07, 0xFD).force(0x0C, 0x08, 0x1F);
     },
     "fail  0x0C: field [0-9]+ uT after the build's offsets"},
    {"hmc_x_-4096", [] { sim::board().force(0x1E, 0x03, 0xF0).force(0x1E, 0x04, 0x00); },
     "fail  0x1E: the field saturates the sensor \\(-4096\\)"},
    {"hmc_x_-4095", [] { sim::board().force(0x1E, 0x03, 0xF0).force(0x1E, 0x04, 0x01); },
     "fail  0x1E: field [0-9]+ uT after the build's offsets"},
};

TEST(Doctor, PartsNoSceneHas) {
    for (const part_case& c : part_cases) {
        SCOPED_TRACE(c.name);
        // A little noise, so that a live HMC5883L's counts change from sample to sample.
        sim::board().reset().noise(0.05);
        c.fit();
        const run_result r = run_doctor();
        EXPECT_TRUE(std::regex_search(r.out, std::regex(c.finding, std::regex::extended))) << r.out;
        expect_writes_only_to_identified_parts();
        for (const sim::transfer& t : sim::board().log()) {
            EXPECT_FALSE(t.kind == sim::op::write && t.addr == c.untouched)
                << "write of register 0x" << std::hex << t.reg << " to 0x" << c.untouched;
        }
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
