// The table of ps_3_0 intrinsics (see intrinsics.h). Adding an intrinsic rule means one row.
#include "intrinsics.h"

#include <algorithm>
#include <iterator>

namespace fxcompiler {

namespace {

using R = Result;
using T = Treatment;

// Sorted by name, for a binary search (a test checks the order).
const Intrinsic INTRINSICS[] = {
    {"abs", R::Arguments, T::Native, {}, {}},
    {"acos", R::Arguments, T::Native, {}, {}},
    {"all", R::Scalar, T::Native, {}, {}},
    {"any", R::Scalar, T::Native, {}, {}},
    {"asin", R::Arguments, T::Native, {}, {}},
    {"atan", R::Arguments, T::Native, {}, {}},
    {"atan2", R::Arguments, T::Native, {}, {}},
    {"ceil", R::Arguments, T::Native, {}, {}},
    {"clamp", R::Arguments, T::Native, {}, {}},
    {"clip", R::Unknown, T::Native, {}, {}},
    {"cos", R::Arguments, T::Native, {}, {}},
    {"cosh", R::Arguments, T::Native, {}, {}},
    {"cross", R::Vector3, T::Native, {}, {}},
    {"ddx", R::Arguments, T::Native, {}, {}},
    {"ddy", R::Arguments, T::Native, {}, {}},
    {"degrees", R::Arguments, T::Native, {}, {}},
    {"determinant", R::Scalar, T::Native, {}, {}},
    {"distance", R::Scalar, T::Native, {}, {}},
    {"dot", R::Scalar, T::Native, {}, {}},
    {"exp", R::Arguments, T::Native, {}, {}},
    {"exp2", R::Arguments, T::Native, {}, {}},
    {"faceforward", R::Arguments, T::Native, {}, {}},
    {"floor", R::Arguments, T::Native, {}, {}},
    // The back end folds fmod of constants with the divisor's sign; this form folds right.
    {"fmod", R::Arguments, T::Expanded, {}, "((a) - (b) * trunc((a) / (b)))"},
    {"frac", R::Arguments, T::Native, {}, {}},
    {"frexp", R::Arguments, T::Native, {}, {}},
    {"fwidth", R::Arguments, T::Native, {}, {}},
    {"isfinite", R::Arguments, T::Native, {}, {}},
    {"isinf", R::Arguments, T::Native, {}, {}},
    {"isnan", R::Arguments, T::Native, {}, {}},
    {"ldexp", R::Arguments, T::Native, {}, {}},
    {"length", R::Scalar, T::Native, {}, {}},
    {"lerp", R::Arguments, T::Native, {}, {}},
    // The back end multiplies where Direct3D 9 raises to the power:
    // lit(n.l, n.h, m) = (1, max(n.l, 0), n.l < 0 || n.h < 0 ? 0 : n.h^m, 1).
    {"lit", R::Vector4, T::Defined, "fx_lit",
     "float4 fx_lit(float l, float h, float m) { return float4(1, max(l, 0), (l < 0 || h < 0) ? 0 : pow(h, m), 1); }\n"},
    {"log", R::Arguments, T::Native, {}, {}},
    {"log10", R::Arguments, T::Native, {}, {}},
    {"log2", R::Arguments, T::Native, {}, {}},
    {"max", R::Arguments, T::Native, {}, {}},
    {"min", R::Arguments, T::Native, {}, {}},
    {"modf", R::Arguments, T::Native, {}, {}},
    {"mul", R::Product, T::Native, {}, {}},
    // Not a ps_3_0 intrinsic (Direct3D 9 refuses it too); the back end crashes on it.
    {"noise", R::Arguments, T::Refused, {}, "(the noise() intrinsic is not available in ps_3_0)"},
    {"normalize", R::Arguments, T::Native, {}, {}},
    {"pow", R::Arguments, T::Native, {}, {}},
    {"radians", R::Arguments, T::Native, {}, {}},
    {"reflect", R::Arguments, T::Native, {}, {}},
    {"refract", R::Arguments, T::Native, {}, {}},
    {"round", R::Arguments, T::Native, {}, {}},
    {"rsqrt", R::Arguments, T::Native, {}, {}},
    {"saturate", R::Arguments, T::Native, {}, {}},
    {"sign", R::Arguments, T::Native, {}, {}},
    {"sin", R::Arguments, T::Native, {}, {}},
    {"sincos", R::Unknown, T::Native, {}, {}},
    {"sinh", R::Arguments, T::Native, {}, {}},
    {"smoothstep", R::Arguments, T::Native, {}, {}},
    {"sqrt", R::Arguments, T::Native, {}, {}},
    {"step", R::Arguments, T::Native, {}, {}},
    {"tan", R::Arguments, T::Native, {}, {}},
    {"tanh", R::Arguments, T::Native, {}, {}},
    {"tex1D", R::Vector4, T::Native, {}, {}},
    {"tex1Dbias", R::Vector4, T::Native, {}, {}},
    {"tex1Dgrad", R::Vector4, T::Native, {}, {}},
    {"tex1Dlod", R::Vector4, T::Native, {}, {}},
    {"tex1Dproj", R::Vector4, T::Native, {}, {}},
    {"tex2D", R::Vector4, T::Native, {}, {}},
    {"tex2Dbias", R::Vector4, T::Native, {}, {}},
    {"tex2Dgrad", R::Vector4, T::Native, {}, {}},
    {"tex2Dlod", R::Vector4, T::Native, {}, {}},
    {"tex2Dproj", R::Vector4, T::Native, {}, {}},
    {"tex3D", R::Vector4, T::Native, {}, {}},
    {"tex3Dbias", R::Vector4, T::Native, {}, {}},
    {"tex3Dgrad", R::Vector4, T::Native, {}, {}},
    {"tex3Dlod", R::Vector4, T::Native, {}, {}},
    {"tex3Dproj", R::Vector4, T::Native, {}, {}},
    {"texCUBE", R::Vector4, T::Native, {}, {}},
    {"texCUBEbias", R::Vector4, T::Native, {}, {}},
    {"texCUBEgrad", R::Vector4, T::Native, {}, {}},
    {"texCUBElod", R::Vector4, T::Native, {}, {}},
    {"texCUBEproj", R::Vector4, T::Native, {}, {}},
    {"transpose", R::Transposed, T::Native, {}, {}},
    {"trunc", R::Arguments, T::Native, {}, {}},
};

bool less(const Intrinsic& a, const Intrinsic& b) { return a.name < b.name; }

}  // namespace

bool intrinsic_table_sorted() { return std::is_sorted(std::begin(INTRINSICS), std::end(INTRINSICS), less); }

std::string with_intrinsic_names(std::string text)
{
    for (const Intrinsic& row : INTRINSICS) {
        if (row.treatment != Treatment::Defined) continue;
        const std::string ours = "'" + std::string(row.replacement) + "'", theirs = "'" + std::string(row.name) + "'";
        for (std::size_t at = text.find(ours); at != std::string::npos; at = text.find(ours, at + theirs.size())) {
            text.replace(at, ours.size(), theirs);
        }
    }
    return text;
}

const Intrinsic* find_intrinsic(std::string_view name)
{
    const Intrinsic key{name, R::Unknown, T::Native, {}, {}};
    auto found = std::lower_bound(std::begin(INTRINSICS), std::end(INTRINSICS), key, less);
    return found != std::end(INTRINSICS) && found->name == name ? &*found : nullptr;
}

}  // namespace fxcompiler
