#include "platform/comApartment.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <thread>

namespace {

enum class apartment { none, singleThreaded, multithreaded };

// What COM state the calling thread is in, left as it was.
apartment currentApartment() {
    const HRESULT result = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(result))
        ::CoUninitialize();
    if (result == RPC_E_CHANGED_MODE)
        return apartment::singleThreaded;
    return result == S_FALSE ? apartment::multithreaded : apartment::none;
}

// Runs the steps on a thread of their own, so no COM state leaks between cases.
template <typename Steps> void onFreshThread(Steps steps) {
    std::thread thread(steps);
    thread.join();
}

} // namespace

TEST(comApartment, entersASingleThreadedApartmentAndLeavesOnlyWhatItEntered) {
    onFreshThread([] {
        {
            const comApartment outer;
            EXPECT_EQ(S_OK, outer.result());
            EXPECT_EQ(apartment::singleThreaded, currentApartment());
            {
                const comApartment inner;
                EXPECT_EQ(S_FALSE, inner.result());
            }
            EXPECT_EQ(apartment::singleThreaded, currentApartment()) << "the outer one still holds";
        }
        EXPECT_EQ(apartment::none, currentApartment());
    });

    onFreshThread([] {
        ASSERT_EQ(S_OK, ::CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        {
            const comApartment refused;
            EXPECT_EQ(RPC_E_CHANGED_MODE, refused.result());
        }
        EXPECT_EQ(apartment::multithreaded, currentApartment()) << "not uninitialised by it";
        ::CoUninitialize();
    });
}
