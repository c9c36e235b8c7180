#pragma once

namespace tarnivox {

void CREATE_LOG();
void CREATE_EXP();
void CREATE_CIF_TARNIVOX();

}  // namespace tarnivox
