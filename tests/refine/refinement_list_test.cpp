#include "refine/refinement_list.h"
#include <cmath>

#include "refine_fixture.h"

namespace tarnivox {
namespace {

class RefinementList : public RefineTest {
protected:
    // A fitted ordinary reflection with I/sigma = fiti / fitsig.
    static void fitted(double fiti, double fitsig) {
        G.ISCTYPE = 0;
        G.FITI = fiti;
        G.FITSIG = fitsig;
        G.IHKL = Indices{{1, -2, 3}};
        G.ANGLES = angles(20.0, 0.0, 30.0, -40.0);
        G.PAR = Arr1<double, 6>{{12.0, 0.15, 900.0, 0.013, 0.5, 0.5}};
        G.PARESD(2) = 0.002;
    }
};

TEST_F(RefinementList, ThresholdBelowThreeActsAsThree) {
    EXPECT_EQ(preprocess_threshold(1.5), 3.0);
    EXPECT_EQ(preprocess_threshold(3.0), 3.0);
    EXPECT_EQ(preprocess_threshold(10.0), 10.0);
}

TEST_F(RefinementList, OnlyOrdinaryReflectionsStrictlyAboveTheThreshold) {
    fitted(30.0, 3.0);
    EXPECT_FALSE(qualifies_for_list(10.0));  // equal is not enough
    fitted(30.0001, 3.0);
    EXPECT_TRUE(qualifies_for_list(10.0));
    G.ISCTYPE = 2;  // a standard
    EXPECT_FALSE(qualifies_for_list(10.0));
    fitted(30.0, 0.0);  // no esd, no ratio
    EXPECT_FALSE(qualifies_for_list(10.0));
    fitted(300.0, 3.0);
    G.PAR(4) = std::nan("");
    EXPECT_FALSE(qualifies_for_list(10.0));
}

TEST_F(RefinementList, EntryTakesFittedPositionAndRefusesTheThousandAndFirst) {
    fitted(300.0, 3.0);
    ASSERT_EQ(ADD_TO_REFINEMENT_LIST(), 0);
    EXPECT_EQ(G.NUBREF, 1);
    EXPECT_EQ(G.IHREF(1, 2), -2);
    EXPECT_EQ(G.TTHREF(1), 20.0);
    EXPECT_EQ(G.OMREF(1), 0.013);
    EXPECT_EQ(G.CHIREF(1), 30.0);
    EXPECT_EQ(G.PHIREF(1), -40.0);
    EXPECT_EQ(G.FWREF(1), 0.15);
    EXPECT_EQ(G.FWSREF(1), 0.002);
    EXPECT_EQ(G.BGREF(1), 12.0);
    G.NUBREF = MAXREFLIST;
    G.OMREF(MAXREFLIST) = 7.0;
    EXPECT_EQ(ADD_TO_REFINEMENT_LIST(), 1);
    EXPECT_EQ(G.NUBREF, MAXREFLIST);
    EXPECT_EQ(G.OMREF(MAXREFLIST), 7.0);
}

}  // namespace
}  // namespace tarnivox
