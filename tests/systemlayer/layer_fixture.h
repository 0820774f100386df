#pragma once
// A system layer on a program folder of its own, on real disk, whose
// images/ holds real bitmaps of known sizes (some pictures left out on
// purpose, to show the blank sizes).

#include "picture_files.h"
#include "support/test_support.h"
#include "systemlayer/system_layer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace telvo::test {

struct PictureOnDisk {
    const char* Name;
    int32_t Width, Height;
};

// Left out: conveyer.bmp, feeder.bmp, aaa.bmp.
inline constexpr PictureOnDisk ProgramPictures[] = {
    {"netbone.bmp", 400, 20}, {"device3.bmp", 80, 60}, {"OPCdevice.bmp", 70, 56}, {"device1.bmp", 64, 48},
    {"Comp047.bmp", 72, 64},  {"iunit.bmp", 72, 48},   {"switch.bmp", 88, 32},    {"ALARM.bmp", 48, 56},
    {"boiler.bmp", 64, 72},   {"hmi.bmp", 80, 60},
};

class LayerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const PictureOnDisk& p : ProgramPictures)
            WriteBitmap(Home.Path() / "images" / p.Name, p.Width, p.Height);
        Layer = std::make_unique<TSystemLayerManager>(Home.Path());
    }

    // Adds an object named as the editor names it.
    TslObject* Add(uint8_t kind, int subtype = 0, const std::string& image = {})
    {
        return Layer->AddObject(Layer->NewObjectName(kind, subtype), kind, subtype, image);
    }
    template <typename T>
    T* AddAs(uint8_t kind, int subtype = 0, const std::string& image = {})
    {
        return dynamic_cast<T*>(Add(kind, subtype, image));
    }
    TslIPT* AddIpt(int ipps, uint8_t sensorActuator = TslIPPRef::Sensor, int subtype = slCustomIptSubtype)
    {
        auto* ipt = AddAs<TslIPT>(slIPT, subtype);
        for (int i = 0; i < ipps; ++i)
            ipt->AddIpp(TSystemLayerManager::NewIppName(*ipt), "Undefined", sensorActuator);
        return ipt;
    }

    TempDir Home;
    std::unique_ptr<TSystemLayerManager> Layer;
};

} // namespace telvo::test
