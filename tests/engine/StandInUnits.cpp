#include "StandInUnits.h"

#include "platform/units/Component.h"

namespace enginetest {

using units::ParameterUnit;
using units::fourCC;

units::ParameterInfo info(const char* name, ParameterUnit unit, float min, float max, float def) {
    units::ParameterInfo i;
    i.name = QString::fromUtf8(name);
    i.unit = unit;
    i.minValue = min;
    i.maxValue = max;
    i.defaultValue = def;
    if (unit == ParameterUnit::Indexed) i.flags |= units::ParameterInfo::HasValueStrings;
    return i;
}

TableUnit::TableUnit(const units::ComponentDescription& d, const QString& name, const std::vector<Row>& rows)
    : units::EffectUnit(d, name) {
    for (const auto& r : rows) addParameter(r.id, r.info, r.valueStrings);
}

namespace {

class NBandStandIn : public TableUnit {
public:
    explicit NBandStandIn(const units::ComponentDescription& d) : TableUnit(d, "N-Band EQ", rows()) {
        for (uint32_t b = 10; b < 16; ++b) list(1000 + b, 1000 + b, false), hideBand(b);
    }

protected:
    bool supportsBands() const override { return true; }
    uint32_t doNumberOfBands() const override { return bands_; }
    units::Status doSetNumberOfBands(uint32_t bands) override {
        if (bands < 1 || bands > 16) return units::Status::InvalidPropertyValue;
        bands_ = bands;
        for (uint32_t b = 0; b < 16; ++b)
            for (uint32_t base : {1000u, 2000u, 3000u, 4000u, 5000u}) list(base + b, base + b, b < bands);
        return units::Status::Ok;
    }

private:
    void hideBand(uint32_t b) {
        for (uint32_t base : {2000u, 3000u, 4000u, 5000u}) list(base + b, base + b, false);
    }
    static std::vector<Row> rows() {
        std::vector<Row> r{{0, info("Global Gain", ParameterUnit::Decibels, -96, 24, 0), {}}};
        QStringList types;
        for (int i = 0; i <= 10; ++i) types << QStringLiteral("Type %1").arg(i);
        const float frequencies[10] = {32, 64, 125, 250, 500, 1000, 2000, 4000, 8000, 16000};
        for (uint32_t b = 0; b < 16; ++b) {
            r.push_back({1000 + b, info("Bypass", ParameterUnit::Boolean, 0, 1, 1), {}});
            r.push_back({2000 + b, info("Filter Type", ParameterUnit::Indexed, 0, 10, 0), types});
            r.push_back({3000 + b, info("Frequency", ParameterUnit::Hertz, 20, 22050, b < 10 ? frequencies[b] : 1000), {}});
            r.push_back({4000 + b, info("Gain", ParameterUnit::Decibels, -96, 24, 0), {}});
            r.push_back({5000 + b, info("Bandwidth", ParameterUnit::Octaves, 0.05f, 5, 1), {}});
        }
        return r;
    }
    uint32_t bands_ = 10;
};

class GraphicStandIn : public TableUnit {
public:
    explicit GraphicStandIn(const units::ComponentDescription& d) : TableUnit(d, "Graphic EQ", rows()) {
        list(10, 30, false);
    }

protected:
    void parameterChanged(units::ParameterID id, float v) override {
        if (id == 10000) list(10, 30, v >= 0.5f);
    }

private:
    static std::vector<Row> rows() {
        std::vector<Row> r{{10000, info("Number of Bands", ParameterUnit::Indexed, 0, 1, 0),
                            {QStringLiteral("10 Band"), QStringLiteral("31 Band")}}};
        for (uint32_t b = 0; b < 31; ++b)
            r.push_back({b, info("Band", ParameterUnit::Decibels, -20, 20, 0), {}});
        return r;
    }
};

void registerIfMissing(units::FourCC type, units::FourCC subtype, const QString& name,
                       units::Component::Factory factory) {
    auto& registry = units::ComponentRegistry::instance();
    const units::ComponentDescription d{type, subtype, units::kBuiltInManufacturer, 0, 0};
    if (registry.findNext(d)) return;
    registry.registerComponent(d, name, 1, std::move(factory));
}

void registerTable(const char* subtype, const char* name, std::vector<TableUnit::Row> rows,
                   units::FourCC type = fourCC("aufx")) {
    const units::ComponentDescription d{type, units::fourCCFromString(subtype), units::kBuiltInManufacturer, 0, 0};
    registerIfMissing(d.componentType, d.componentSubType, name,
                      [d, name, rows] { return std::make_unique<TableUnit>(d, name, rows); });
}

}  // namespace

void ensureBuiltInUnits() {
    static bool done = false;
    if (done) return;
    done = true;
    const auto filter = [](float def) {
        return std::vector<TableUnit::Row>{
            {0, info("Cutoff Frequency", ParameterUnit::Hertz, 10, 22050, def), {}},
            {1, info("Resonance", ParameterUnit::Decibels, -20, 40, 0), {}}};
    };
    registerTable("lpas", "Low Pass", filter(6900));
    registerTable("hpas", "High Pass", filter(6900));
    registerTable("bpas", "Band Pass",
                  {{0, info("Center Frequency", ParameterUnit::Hertz, 20, 22050, 5000), {}},
                   {1, info("Bandwidth", ParameterUnit::Cents, 100, 12000, 600), {}}});
    registerTable("lshf", "Low Shelf",
                  {{0, info("Cutoff Frequency", ParameterUnit::Hertz, 10, 200, 80), {}},
                   {1, info("Gain", ParameterUnit::Decibels, -40, 40, 0), {}}});
    registerTable("mrev", "Reverb",
                  {{0, info("Dry/Wet Mix", ParameterUnit::EqualPowerCrossfade, 0, 100, 100), {}},
                   {1, info("Small/Large Mix", ParameterUnit::EqualPowerCrossfade, 0, 100, 50), {}}});
    registerTable("nutp", "Pitch",
                  {{0, info("Rate", ParameterUnit::Rate, 0.03125f, 32, 1), {}},
                   {1, info("Pitch", ParameterUnit::Cents, -2400, 2400, 0), {}}},
                  fourCC("aufc"));
    registerIfMissing(fourCC("aufx"), fourCC("nbeq"), "N-Band EQ", [] {
        return std::make_unique<NBandStandIn>(
            units::ComponentDescription{fourCC("aufx"), fourCC("nbeq"), units::kBuiltInManufacturer, 0, 0});
    });
    registerIfMissing(fourCC("aufx"), fourCC("greq"), "Graphic EQ", [] {
        return std::make_unique<GraphicStandIn>(
            units::ComponentDescription{fourCC("aufx"), fourCC("greq"), units::kBuiltInManufacturer, 0, 0});
    });
    registerTable("dist", "Distortion",
                  {{0, info("Delay", ParameterUnit::Milliseconds, 0.1f, 500, 0.1f), {}},
                   {15, info("Final Mix", ParameterUnit::Percent, 0, 100, 50), {}}});
}

}  // namespace enginetest
