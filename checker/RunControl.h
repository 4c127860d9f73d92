#pragma once

#include <array>

// State that the window and a test run share for the whole life of the program.
struct RunControl
{
    // (0) socket slots per batch, (1) probe timeout in whole seconds; mirrors the two sliders.
    std::array<int, 2> SliderValues{20, 10};
    // The user pressed Abort: the run stops after the batch under way.
    bool AbortTest = false;
    // A test run is in progress, until its completion message has been closed.
    bool IsTesting = false;
};
