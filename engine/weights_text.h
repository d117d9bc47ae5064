// The weights as text: one line per neuron in lattice order, "I J W1 W2" (or
// "I J W1 W2 W3"), each weight printed with %La so the file holds it exactly.
#pragma once

#include <cstdio>
#include <string>

namespace som {

template <class L>
std::string weights_text(const L& map) {
    std::string text;
    char line[256];
    for (int I = 1; I <= L::XNEUR; ++I)
        for (int J = 1; J <= L::YNEUR; ++J) {
            if constexpr (L::solid)
                std::snprintf(line, sizeof line, "%d %d %La %La %La\n", I, J, map.W1(I, J),
                              map.W2(I, J), map.W3(I, J));
            else
                std::snprintf(line, sizeof line, "%d %d %La %La\n", I, J, map.W1(I, J), map.W2(I, J));
            text += line;
        }
    return text;
}

}  // namespace som
