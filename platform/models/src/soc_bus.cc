#include "board/soc_bus.h"

namespace board {

SocBus::SocBus(kplat::Kernel& kernel) : kernel_(kernel) { kernel_.attach_gbus(this); }

SocBus::~SocBus() { kernel_.attach_gbus(nullptr); }

void SocBus::attach(uint32_t base, uint32_t size, kplat::Gbus& model) { ranges_[base] = Range{size, &model}; }

kplat::Gbus* SocBus::find(uint32_t addr) {
    auto it = ranges_.upper_bound(addr);
    if (it == ranges_.begin()) return nullptr;
    --it;
    return addr - it->first < it->second.size ? it->second.model : nullptr;
}

uint32_t SocBus::read32(uint32_t addr) {
    auto s = scripted_.find(addr);
    if (s != scripted_.end() && !s->second.empty()) {
        uint32_t v = s->second.front();
        s->second.pop_front();
        return v;
    }
    kplat::Gbus* model = find(addr);
    return model ? model->read32(addr) : 0;
}

void SocBus::write32(uint32_t addr, uint32_t value) {
    note({BusEvent::write, kernel_.jiffies(), addr, value});
    if (kplat::Gbus* model = find(addr)) model->write32(addr, value);
}

void SocBus::script_reads(uint32_t addr, std::vector<uint32_t> values) {
    auto& q = scripted_[addr];
    q.insert(q.end(), values.begin(), values.end());
}

std::vector<uint32_t> SocBus::writes_to(uint32_t addr) const {
    std::vector<uint32_t> out;
    for (const BusEvent& e : history_)
        if (e.kind == BusEvent::write && e.addr == addr) out.push_back(e.value);
    return out;
}

std::vector<bool> SocBus::pin_changes(unsigned pin) const {
    std::vector<bool> out;
    for (const BusEvent& e : history_)
        if (e.kind == BusEvent::pin && e.addr == pin) out.push_back(e.value != 0);
    return out;
}

void SocBus::note_pin(unsigned pin, bool level) { note({BusEvent::pin, kernel_.jiffies(), pin, level ? 1u : 0u}); }

void SocBus::note(BusEvent e) {
    e.usecs = kernel_.microseconds();
    if (history_.size() == history_limit) history_.pop_front();
    history_.push_back(e);
}

}  // namespace board
