// The board's parts as variants of the models: each entry of the table names the model a part
// uses and the setting that makes the model that part.
#include "parts.hpp"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace sim::detail {

namespace {

struct variant {
    part p;
    const char* name;  // as commands take it
    device* (*model)(parts&);
    void (*set)(parts&);
};

void as_is(parts&) {}

constexpr variant variants[] = {
    {part::mpu6050, "mpu6050", [](parts& s) -> device* { return &s.mpu; },
     [](parts& s) { s.mpu.who_am_i(mpu6050::WHO_AM_I_VALUE); }},
    {part::mpu6500, "mpu6500", [](parts& s) -> device* { return &s.mpu; },
     [](parts& s) { s.mpu.who_am_i(mpu6050::WHO_AM_I_MPU6500); }},
    {part::mpu9250, "mpu9250", [](parts& s) -> device* { return &s.mpu; },
     [](parts& s) { s.mpu.who_am_i(mpu6050::WHO_AM_I_MPU9250); }},
    {part::mpu9255, "mpu9255", [](parts& s) -> device* { return &s.mpu; },
     [](parts& s) { s.mpu.who_am_i(mpu6050::WHO_AM_I_MPU9255); }},
    {part::ak8975, "ak8975", [](parts& s) -> device* { return &s.ak; },
     [](parts& s) { s.ak.chip(ak8975::ak8975_chip); }},
    {part::ak8963, "ak8963", [](parts& s) -> device* { return &s.ak; },
     [](parts& s) { s.ak.chip(ak8975::ak8963_chip); }},
    {part::hmc5883l, "hmc5883l", [](parts& s) -> device* { return &s.hmc; }, as_is},
    {part::hmc5883l_clone, "hmc5883l_clone", [](parts& s) -> device* { return &s.hmc_clone; },
     as_is},
    {part::ds3231, "ds3231", [](parts& s) -> device* { return &s.rtc; }, as_is},
    {part::qmc5883l, "qmc5883l", [](parts& s) -> device* { return &s.qmc_l; }, as_is},
    {part::qmc5883p, "qmc5883p", [](parts& s) -> device* { return &s.qmc_p; }, as_is},
};

}  // namespace

bool part_named(const char* name, part& p) {
    const variant* v =
        std::find_if(std::begin(variants), std::end(variants),
                     [=](const variant& e) { return std::strcmp(name, e.name) == 0; });
    p = v != std::end(variants) ? v->p : part::none;
    return v != std::end(variants) || std::strcmp(name, "none") == 0;
}

void parts::power_on() {
    mpu.who_am_i(mpu6050::WHO_AM_I_VALUE);
    mpu.reset_time_ns(mpu6050::default_reset_ns);
    mpu.reset();
    ak.chip(ak8975::ak8975_chip);
    ak.fuse_rom(ak8975::ASA_NEUTRAL, ak8975::ASA_NEUTRAL, ak8975::ASA_NEUTRAL);
    ak.conversion_time_ns(ak8975::default_conversion_ns);
    ak.reset();
    hmc.first_sample_ns(-1);
    hmc.reset();
    hmc_clone.reset();
    qmc_l.reset();
    qmc_p.reset();
    rtc.reset();
}

void parts::fit(bus& b, int addr, part p, int behind) {
    if (!valid_addr(addr)) {
        return;
    }
    const variant* v = std::find_if(std::begin(variants), std::end(variants),
                                    [=](const variant& e) { return e.p == p; });
    if (v == std::end(variants)) {  // part::none, or a part this board cannot carry
        b.fit(addr, nullptr, nullptr, -1);
        return;
    }
    device* model = v->model(*this);
    v->set(*this);
    model->reset();
    b.fit(addr, model, model == &mpu ? &mpu : nullptr, behind);  // the one gate: the bypass
    kind[addr] = p;
}

part parts::fitted(const bus& b, int addr) const {
    return valid_addr(addr) && b.at(addr).part != nullptr ? kind[addr] : part::none;
}

}  // namespace sim::detail

namespace sim {

const char* part_name(std::size_t i) {
    return i < std::size(detail::variants) ? detail::variants[i].name : nullptr;
}

}  // namespace sim
