#pragma once

namespace tarnivox {

void CREATE_LOG();
void CREATE_EXP();

}  // namespace tarnivox
