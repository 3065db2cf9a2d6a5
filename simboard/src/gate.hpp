// A part that connects what stands behind it to the main bus (the motion sensor's bypass).
#pragma once

namespace sim::detail {

class gate {
  public:
    gate() = default;
    gate(const gate&) = delete;
    gate& operator=(const gate&) = delete;
    virtual bool open() const = 0;

  protected:
    ~gate() = default;
};

}  // namespace sim::detail
