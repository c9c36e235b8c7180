#pragma once

namespace tarnivox {

void GETFORMAT();
void RUN_GENERAL_INFO();
void WRITE_GENERAL_INFO();
void RUN_BACKGROUND_INFO();
void RUN_INTFORMAT();
void RUN_REFINEMENT_BOX(int& go, int& offsets, int& omega_zero, int& crystal_system);
void RUN_RESULTS_BOX(int nreflections);
void WAITBOX(int show);
void GET_STEP_SIZE(double& step);
void NOPARFILE(int& give_up);

}  // namespace tarnivox
