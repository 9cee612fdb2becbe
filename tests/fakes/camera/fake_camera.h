// Test-side access to the fake camera library (fake_camera_control.h).
//
//   FakeCamera fake;                       // opens libVRX4KAPI.so from LD_LIBRARY_PATH
//   ASSERT_TRUE(fake.IsLoaded());
//   fake->Reset();
//   fake->SetDetectCount(6);
//   fake->SetOpenResult(1, -1);
//   ... run the code under test, which loads the same library by name ...
//   EXPECT_EQ(fake->CountCalls(FAKE_CAMERA_OPEN), 4u);
//
// The helper holds its own reference, so the fake and its script survive the
// program's Load and Unload for as long as the helper lives.
#pragma once

#include "fake_camera_control.h"
#include "vrx4k-common/entry_guard.h"

#include <dlfcn.h>

#include <string>
#include <vector>

// The entry point's name for test messages, e.g. "VRX4K_Open".
inline const char *FakeCameraEntryName(int32_t entry)
{
    return vrx4k::EntryPointName(entry);
}

class FakeCamera {
public:
    // `flags` are dlopen's; pass RTLD_NOW | RTLD_NOLOAD to reach a fake that
    // something else has loaded without loading it.
    explicit FakeCamera(int flags = RTLD_NOW | RTLD_LOCAL)
        : m_module(dlopen("libVRX4KAPI.so", flags))
    {
        if (m_module == nullptr)
            return;
        const auto getControl = reinterpret_cast<PfnFakeCamera_GetControl>(dlsym(m_module, FAKE_CAMERA_CONTROL_SYMBOL));
        if (getControl != nullptr)
            m_control = getControl();
    }
    ~FakeCamera()
    {
        if (m_module != nullptr)
            dlclose(m_module);
    }
    FakeCamera(const FakeCamera &) = delete;
    FakeCamera &operator=(const FakeCamera &) = delete;

    // True when the library was found and it is the fake.
    bool IsLoaded() const { return m_control != nullptr; }
    void *Module() const { return m_module; }

    const FakeCameraControl *operator->() const { return m_control; }

    // The whole call log, oldest first.
    std::vector<FakeCameraCall> Calls() const
    {
        std::vector<FakeCameraCall> calls(m_control->CallCount());
        for (size_t i = 0; i < calls.size(); ++i)
            m_control->GetCall(i, &calls[i]);
        return calls;
    }

    // The calls of one entry point, oldest first.
    std::vector<FakeCameraCall> Calls(int32_t entry) const
    {
        std::vector<FakeCameraCall> matching;
        for (const FakeCameraCall &call : Calls())
            if (call.entry == entry)
                matching.push_back(call);
        return matching;
    }

    // The entry points called, in order, e.g. {FAKE_CAMERA_DETECT, FAKE_CAMERA_OPEN}.
    std::vector<int32_t> Entries() const
    {
        std::vector<int32_t> entries;
        for (const FakeCameraCall &call : Calls())
            entries.push_back(call.entry);
        return entries;
    }

    // The event log, in the order the deliveries finished.
    std::vector<FakeCameraEvent> Events() const
    {
        std::vector<FakeCameraEvent> events(m_control->EventCount());
        for (size_t i = 0; i < events.size(); ++i)
            m_control->GetEvent(i, &events[i]);
        return events;
    }

private:
    void *m_module = nullptr;
    const FakeCameraControl *m_control = nullptr;
};
