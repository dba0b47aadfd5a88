// What the integer and real spin boxes share: their limits and arrow step (kept by the value
// model), and the owner's increment hook that may take over the arrows.
#pragma once

#include "gui/controls/CustomSpin.h"

#include <functional>

namespace kestrix::gui {

template <typename T, typename Model> class NumberSpin : public CustomSpin {
public:
    // With ownerIncrement on, a step calls this with the signed step and the current value; the
    // value it leaves is written.
    using IncrementHandler = std::function<void(T inc, T& value)>;

    using CustomSpin::CustomSpin;

    T minValue() const { return model_.minValue(); }
    void setMinValue(T value) { model_.setMinValue(value); }
    T maxValue() const { return model_.maxValue(); }
    void setMaxValue(T value) { model_.setMaxValue(value); }
    bool useLimit() const { return model_.useLimit(); }
    void setUseLimit(bool on) { model_.setUseLimit(on); }
    T increment() const { return model_.increment(); }
    void setIncrement(T step) { model_.setIncrement(step); }
    bool ownerIncrement() const { return ownerIncrement_; }
    void setOwnerIncrement(bool on) { ownerIncrement_ = on; }
    void setOnIncrement(IncrementHandler handler) { onIncrement_ = std::move(handler); }

protected:
    // The value as the box holds it now, and writing a value into the box.
    virtual T currentValue() = 0;
    virtual void writeValue(T value) = 0;

    void step(bool up, bool ctrl) override {
        T current = currentValue();
        if (!ownerIncrement_) {
            writeValue(model_.stepped(current, up, ctrl));
            return;
        }
        if (onIncrement_)
            onIncrement_(model_.stepped(0, up, ctrl), current);
        writeValue(current);
    }

    Model model_;

private:
    IncrementHandler onIncrement_;
    bool ownerIncrement_ = false;
};

} // namespace kestrix::gui
