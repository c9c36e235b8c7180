#pragma once
// Crystal offsets: the shift of an omega-scan peak caused by a crystal that
// sits off the goniometer centre, its least-squares refinement (with the
// omega zero point if asked), and the refinement alternating with the UB
// least squares.

#include "refine/geometry.h"
#include "refine/shift_lsq.h"

namespace tarnivox {

// Rotation from the phi-axis frame to the frame of the omega circle for the
// sines and cosines of omega, chi and phi (callers put any circle parities
// into the sines): v = M . XTALOFF.  Row 1 is the direction of the
// diffraction vector, row 3 the omega axis.
Mat3 omega_frame_matrix(double so, double co, double sc, double cc, double sp, double cp);

// AOFF(1): shift of 2theta, AOFF(2): shift of the omega peak position
// including OMZERO, AOFF(3) = 0; degrees.  All 0 without an offset.
void CALC_ANGOFF(const Angles& ANG, Arr1<double, 3>& AOFF);
// XTALOFF (and OMZERO when IZERO = 1) from N reflections of the tables,
// with their esds in XOFFESD (and OMZESD).  0; 1 when the offsets cannot be
// refined from these reflections (the box is shown, nothing is changed).
// The joint fit that gave them in shift.
int GET_XTALSHIFT(int N, const AngTable& ANG, const IhTable& IH, int IZERO, ShiftLsqResult& shift);
// UB, cell, XTALOFF and OMZERO from the refinement list.  IERR 0; 1 from
// LSQ; SHIFT_FAILED when the offsets could not be refined.  Returns the
// joint fit of UB and the shifts of the last cycle.
ShiftLsqResult LSQ_WITHOFF(int IZERO, int& IERR);

}  // namespace tarnivox
