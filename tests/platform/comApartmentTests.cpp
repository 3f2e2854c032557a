#include "platform/comApartment.h"

#include <gtest/gtest.h>

#include <thread>

namespace {
// The calling thread's apartment, left as it was: S_OK none, S_FALSE multithreaded,
// RPC_E_CHANGED_MODE single-threaded.
HRESULT apartmentProbe() {
    const HRESULT result = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(result))
        ::CoUninitialize();
    return result;
}
} // namespace

// On a thread of its own, so no COM state reaches other tests.
TEST(comApartment, entersASingleThreadedApartmentAndLeavesOnlyWhatItEntered) {
    std::thread([] {
        {
            const comApartment outer;
            const comApartment inner;
            EXPECT_EQ(S_OK, outer.result());
            EXPECT_EQ(S_FALSE, inner.result());
            EXPECT_EQ(RPC_E_CHANGED_MODE, apartmentProbe()) << "single-threaded";
        }
        EXPECT_EQ(S_OK, apartmentProbe()) << "both initialisations undone";

        ASSERT_EQ(S_OK, ::CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        EXPECT_EQ(RPC_E_CHANGED_MODE, comApartment().result());
        EXPECT_EQ(S_FALSE, apartmentProbe()) << "the multithreaded apartment stays";
        ::CoUninitialize();
    }).join();
}
