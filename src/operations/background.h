#pragma once
// The background models of the data set ("Calc Background"): the smoothed
// table per degree of 2theta and the exponential law, from the end steps of
// every scan.

namespace tarnivox {

struct BackgroundModelResult {
    int scans = 0;  // scans the models were made from
};

// One pass over the data set (rewound afterwards); sets BGTAB and BGEXPA,
// BGEXPB, BGEXPC.
BackgroundModelResult model_background();

}  // namespace tarnivox
