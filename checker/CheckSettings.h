#pragma once

// What the window's two sliders tell a check run: how many proxies are probed at once ("No. of Threads:") and how
// long each batch waits for answers, in whole seconds ("Timeout (sec)").
struct CheckSettings
{
    int slotsPerBatch = 20;
    int timeoutSeconds = 10;
};
