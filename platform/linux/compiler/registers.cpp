// assign_registers: Direct3D 9's register allocation for one entry point, shared by the constant
// registers (c#) and the samplers (s#).
#include <algorithm>

#include "compiler.h"

namespace fxcompiler {

std::vector<int> assign_registers(const std::vector<RegisterRequest>& requests)
{
    std::vector<bool> taken;
    auto occupy = [&](std::size_t first, std::size_t count) {
        if (taken.size() < first + count) taken.resize(first + count, false);
        std::fill(taken.begin() + first, taken.begin() + first + count, true);
    };
    auto is_free = [&](std::size_t first, std::size_t count) {
        for (std::size_t r = first; r < first + count && r < taken.size(); ++r) {
            if (taken[r]) return false;
        }
        return true;
    };

    std::vector<int> result(requests.size(), -1);
    std::size_t lowest_free = 0;  // no run can start below it: keeps many small requests linear
    for (std::size_t i = 0; i < requests.size(); ++i) {
        const RegisterRequest& r = requests[i];
        if (r.used && r.explicit_index >= 0) {
            result[i] = r.explicit_index;
            occupy((std::size_t)r.explicit_index, r.count);
        }
    }
    for (std::size_t i = 0; i < requests.size(); ++i) {
        const RegisterRequest& r = requests[i];
        if (!r.used || r.explicit_index >= 0) continue;
        while (lowest_free < taken.size() && taken[lowest_free]) ++lowest_free;
        std::size_t first = lowest_free;
        while (!is_free(first, r.count)) ++first;
        result[i] = (int)first;
        occupy(first, r.count);
    }
    return result;
}

}  // namespace fxcompiler
