// The tags of the simulation server's address space.
#include <cstdio>
#include <cstdlib>

#include "platform/com/bstr.h"
#include "simserver/tag_catalogue.h"

namespace simserver {

namespace {

constexpr DWORD kRW = OPC_READABLE | OPC_WRITEABLE;

struct TypeName {
    VARTYPE vt;
    const char* name;
};

constexpr TypeName kIntegerTypes[] = {
    {VT_I1, "I1"}, {VT_UI1, "UI1"}, {VT_I2, "I2"}, {VT_UI2, "UI2"},
    {VT_I4, "I4"}, {VT_UI4, "UI4"}, {VT_I8, "I8"}, {VT_UI8, "UI8"},
};
constexpr TypeName kFloatTypes[] = {{VT_R4, "R4"}, {VT_R8, "R8"}};
// The element types the OPC DA 1.0 streams carry in arrays.
constexpr TypeName kArrayTypes[] = {
    {VT_I1, "I1"}, {VT_UI1, "UI1"}, {VT_I2, "I2"}, {VT_UI2, "UI2"},
    {VT_I4, "I4"}, {VT_UI4, "UI4"}, {VT_R4, "R4"}, {VT_R8, "R8"},
};

TagSpec Describe(const std::string& id, VARTYPE vt, SignalShape shape, DWORD rights = OPC_READABLE) {
    TagSpec s;
    s.itemId = WideFromUtf8(id);
    s.type = vt;
    s.shape = shape;
    s.rights = rights;
    return s;
}

TagSpec Analog(TagSpec s, double low, double high, std::string unit) {
    s.analog = true;
    s.low = low;
    s.high = high;
    s.unit = std::move(unit);
    return s;
}

}  // namespace

void AddStandardTags(TagCatalogue& catalogue) {
    // Ramps: integers count up per 100 ms and wrap in their width; floats sweep 0..100 in 10 s.
    for (const auto& t : kIntegerTypes) {
        TagSpec s = Describe(std::string("Ramp.") + t.name, t.vt, SignalShape::Ramp);
        s.stepMs = 100;
        s.description = std::string("Ramp of ") + t.name;
        catalogue.Add(std::move(s));
    }
    for (const auto& t : kFloatTypes) {
        TagSpec s = Analog(Describe(std::string("Ramp.") + t.name, t.vt, SignalShape::Ramp), 0, 100, "%");
        s.stepMs = 100;
        s.periodMs = 10000;
        s.description = std::string("Ramp of ") + t.name;
        catalogue.Add(std::move(s));
    }

    // Random values, a new one every second.
    for (const auto& t : kIntegerTypes) {
        TagSpec s = Describe(std::string("Random.") + t.name, t.vt, SignalShape::Random);
        s.offset = t.vt;
        s.description = std::string("Random ") + t.name;
        catalogue.Add(std::move(s));
    }
    for (const auto& t : kFloatTypes) {
        TagSpec s = Analog(Describe(std::string("Random.") + t.name, t.vt, SignalShape::Random), -1000, 1000, "");
        s.offset = t.vt;
        s.description = std::string("Random ") + t.name;
        catalogue.Add(std::move(s));
    }
    catalogue.Add(Describe("Random.BOOL", VT_BOOL, SignalShape::Random));
    catalogue.Add(Describe("Random.BSTR", VT_BSTR, SignalShape::Random));

    // Sines over 20 s.
    for (VARTYPE vt : {VT_R4, VT_R8, VT_I2, VT_I4}) {
        const char* name = vt == VT_R4 ? "R4" : vt == VT_R8 ? "R8" : vt == VT_I2 ? "I2" : "I4";
        TagSpec s = Analog(Describe(std::string("Sine.") + name, vt, SignalShape::Sine), -100, 100, "mV");
        s.stepMs = 100;
        s.periodMs = 20000;
        s.description = std::string("Sine wave of ") + name;
        catalogue.Add(std::move(s));
    }

    // Square waves: a toggling boolean (1 s each way) and numeric ones.
    for (VARTYPE vt : {VT_BOOL, VT_I4, VT_R8}) {
        const char* name = vt == VT_BOOL ? "BOOL" : vt == VT_I4 ? "I4" : "R8";
        TagSpec s = Describe(std::string("Square.") + name, vt, SignalShape::Square);
        s.stepMs = 1000;
        s.periodMs = 2000;
        s.low = 0;
        s.high = vt == VT_BOOL ? 1 : 100;
        catalogue.Add(std::move(s));
    }

    // Text.
    {
        TagSpec s = Describe("Text.Cycle", VT_BSTR, SignalShape::TextCycle);
        s.stepMs = 2000;
        catalogue.Add(std::move(s));
        TagSpec fixed = Describe("Text.Static", VT_BSTR, SignalShape::Fixed);
        fixed.initialText = "Orvane OPC";
        catalogue.Add(std::move(fixed));
    }

    // Arrays: one-dimensional ramps of 8 elements, two-dimensional ones.
    for (const auto& t : kArrayTypes) {
        TagSpec s = Describe(std::string("Array.") + t.name, VT_ARRAY | t.vt, SignalShape::Ramp);
        s.stepMs = 500;
        s.dims = {8};
        catalogue.Add(std::move(s));
    }
    struct Dims2 {
        VARTYPE vt;
        const char* name;
        ULONG rows, cols;
    };
    for (const auto& d :
         {Dims2{VT_I2, "I2", 2, 3}, Dims2{VT_UI1, "UI1", 2, 2}, Dims2{VT_R4, "R4", 3, 2}, Dims2{VT_R8, "R8", 3, 4}}) {
        TagSpec s = Describe(std::string("Array2D.") + d.name, VT_ARRAY | d.vt, SignalShape::Ramp);
        s.stepMs = 500;
        s.dims = {d.rows, d.cols};
        catalogue.Add(std::move(s));
    }

    // Writable tags of every type, holding what was written.
    for (const auto& t : kIntegerTypes)
        catalogue.Add(Describe(std::string("Writable.") + t.name, t.vt, SignalShape::Memory, kRW));
    for (const auto& t : kFloatTypes) catalogue.Add(Describe(std::string("Writable.") + t.name, t.vt, SignalShape::Memory, kRW));
    catalogue.Add(Describe("Writable.BOOL", VT_BOOL, SignalShape::Memory, kRW));
    {
        TagSpec s = Describe("Writable.BSTR", VT_BSTR, SignalShape::Memory, kRW);
        s.initialText = "text";
        catalogue.Add(std::move(s));
    }
    catalogue.Add(Describe("Writable.DATE", VT_DATE, SignalShape::Memory, kRW));
    catalogue.Add(Describe("Writable.CY", VT_CY, SignalShape::Memory, kRW));
    catalogue.Add(Describe("Writable.WriteOnly", VT_I4, SignalShape::Memory, OPC_WRITEABLE));
    // A plain name without a number, to duplicate into Tag0, Tag1 ...
    catalogue.Add(Describe("Writable.Tag", VT_I4, SignalShape::Memory, kRW));
    for (const auto& t : kArrayTypes) {
        TagSpec s = Describe(std::string("Writable.Array.") + t.name, VT_ARRAY | t.vt, SignalShape::Memory, kRW);
        s.dims = {5};
        catalogue.Add(std::move(s));
    }
    for (const auto& t : {TypeName{VT_I2, "I2"}, TypeName{VT_R8, "R8"}}) {
        TagSpec s = Describe(std::string("Writable.Array2D.") + t.name, VT_ARRAY | t.vt, SignalShape::Memory, kRW);
        s.dims = {2, 3};
        catalogue.Add(std::move(s));
    }

    // Qualities other than good.
    struct Fixed {
        const char* name;
        WORD quality;
    };
    for (const auto& f :
         {Fixed{"Good", OPC_QUALITY_GOOD}, Fixed{"Uncertain", OPC_QUALITY_UNCERTAIN}, Fixed{"Bad", OPC_QUALITY_BAD},
          Fixed{"CommFailure", OPC_QUALITY_COMM_FAILURE}, Fixed{"LocalOverride", OPC_QUALITY_LOCAL_OVERRIDE}}) {
        TagSpec s = Describe(std::string("Quality.") + f.name, VT_I4, SignalShape::Fixed);
        s.quality = f.quality;
        s.initialNumber = 42;
        catalogue.Add(std::move(s));
    }
    {
        TagSpec s = Describe("Quality.Cycling", VT_I4, SignalShape::QualityCycle);
        s.stepMs = 1000;
        catalogue.Add(std::move(s));
    }

    // A device with word registers D100..D115 and their bits D100.00..D100.15, which read and
    // write the word. The device accepts two access paths.
    for (int w = 100; w < 116; ++w) {
        const std::string word = "Device1.D" + std::to_string(w);
        TagSpec s = Describe(word, VT_UI2, SignalShape::Memory, kRW);
        s.initialNumber = (w * 37 + 5) & 0xFFFF;
        s.accessPaths = {u"Primary", u"Backup"};
        s.description = "Word register";
        Tag* wordTag = catalogue.Add(std::move(s));
        for (int bit = 0; bit < 16; ++bit) {
            char suffix[8];
            std::snprintf(suffix, sizeof suffix, ".%02d", bit);
            TagSpec b = Describe(word + suffix, VT_BOOL, SignalShape::Bit, kRW);
            b.offset = bit;
            b.accessPaths = {u"Primary", u"Backup"};
            b.description = "Bit of " + word;
            b.propertyItemIds[OPC_PROP_FIRST_VENDOR + 4] = WideFromUtf8(word);
            catalogue.Add(std::move(b), wordTag);
        }
    }

    // Plant signals with the companion tags a process system shows beside them (unit,
    // description, alarm, trend ...): browsing clients hide some of these by suffix.
    struct Companion {
        const char* suffix;
        VARTYPE vt;
        const char* text;
    };
    const Companion companions[] = {
        {"_DESC", VT_BSTR, "Feed pump 1 flow"},
        {"_UNIT", VT_BSTR, "m3/h"},
        {"_UNITS", VT_BSTR, "m3/h"},
        {"_unit", VT_BSTR, "m3/h"},
        {"_PRIOC", VT_I4, "3"},
        {"_PRIOA", VT_I4, "2"},
        {"_SALM", VT_BOOL, "0"},
        {"_PTYP", VT_BSTR, "AI"},
        {"_SYSN", VT_BSTR, "PLANT"},
        {"_TREND", VT_BOOL, "1"},
        {"_USEN", VT_BOOL, "1"},
    };
    {
        TagSpec pump = Analog(Describe("Plant.PUMP1", VT_R8, SignalShape::Sine), 0, 50, "m3/h");
        pump.stepMs = 100;
        pump.periodMs = 60000;
        pump.description = "Feed pump 1 flow";
        pump.propertyItemIds[OPC_PROP_UNIT] = u"Plant.PUMP1_UNIT";
        pump.propertyItemIds[OPC_PROP_DESC] = u"Plant.PUMP1_DESC";
        pump.propertyItemIds[OPC_PROP_FIRST_VENDOR + 2] = u"Plant.PUMP1_SALM";
        pump.propertyItemIds[OPC_PROP_FIRST_VENDOR + 3] = u"Plant.PUMP1_TREND";
        catalogue.Add(std::move(pump));
        for (const auto& c : companions) {
            TagSpec s = Describe(std::string("Plant.PUMP1") + c.suffix, c.vt, SignalShape::Memory, kRW);
            s.initialText = c.text;
            s.initialNumber = std::atof(c.text);
            catalogue.Add(std::move(s));
        }
        TagSpec unit = Describe("Plant.PUMP1.UNIT", VT_BSTR, SignalShape::Fixed);
        unit.initialText = "m3/h";
        catalogue.Add(std::move(unit));

        TagSpec tank = Analog(Describe("Plant.TANK1", VT_R4, SignalShape::Ramp), 0, 10, "m");
        tank.stepMs = 1000;
        tank.periodMs = 100000;
        tank.description = "Tank 1 level";
        tank.propertyItemIds[OPC_PROP_UNIT] = u"Plant.TANK1_UNIT";
        tank.propertyItemIds[OPC_PROP_DESC] = u"Plant.TANK1_DESC";
        catalogue.Add(std::move(tank));
        TagSpec tankUnit = Describe("Plant.TANK1_UNIT", VT_BSTR, SignalShape::Memory, kRW);
        tankUnit.initialText = "m";
        catalogue.Add(std::move(tankUnit));
        TagSpec tankDesc = Describe("Plant.TANK1_DESC", VT_BSTR, SignalShape::Memory, kRW);
        tankDesc.initialText = "Tank 1 level";
        catalogue.Add(std::move(tankDesc));
    }
}

void AddLoadTags(TagCatalogue& catalogue, unsigned loadTagCount) {
    // Fast ramps that change every millisecond, each from its own start value.
    const int width = loadTagCount > 10000 ? static_cast<int>(std::to_string(loadTagCount - 1).size()) : 4;
    for (unsigned i = 0; i < loadTagCount; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "Load.T%0*u", width, i);
        TagSpec s = Describe(name, VT_I4, SignalShape::Ramp);
        s.stepMs = 1;
        s.offset = static_cast<std::int64_t>(i) * 1000;
        catalogue.Add(std::move(s));
    }
}

}  // namespace simserver
