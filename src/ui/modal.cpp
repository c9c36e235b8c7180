#include "ui/modal.h"

#include "toolkit/toolkit.h"

namespace tarnivox {

int wait_modal(int box, std::initializer_list<int> commands, int quit) {
    for (;;) {
        const int c = modal_box_action(box);
        if (c == GM_CLOSE && quit != 0) return quit;
        for (int want : commands)
            if (c == want) return c;
        GMDRAWWINDOW(box);
    }
}

}  // namespace tarnivox
