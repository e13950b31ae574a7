// The table of ps_3_0 intrinsics (see intrinsics.h). Adding an intrinsic rule means one row.
#include "intrinsics.h"

#include <algorithm>
#include <iterator>

#include <spirv_cross/GLSL.std.450.h>

namespace fxcompiler {

namespace {

using R = Result;
using T = Treatment;

const char* const WAVE = "wave and quad intrinsics are shader model 6's; ps_3_0 has none";

// Sorted by name, for a binary search (a test checks the order).
// clang-format off
const Intrinsic INTRINSICS[] = {
    {"QuadReadAcrossDiagonal", R::Unknown, T::Refused, {}, WAVE},
    {"QuadReadAcrossX", R::Unknown, T::Refused, {}, WAVE},
    {"QuadReadAcrossY", R::Unknown, T::Refused, {}, WAVE},
    {"QuadReadLaneAt", R::Unknown, T::Refused, {}, WAVE},
    {"WaveActiveAllEqual", R::Unknown, T::Refused, {}, WAVE},
    {"WaveActiveAllTrue", R::Unknown, T::Refused, {}, WAVE},
    {"WaveActiveAnyTrue", R::Unknown, T::Refused, {}, WAVE},
    {"WaveActiveBallot", R::Unknown, T::Refused, {}, WAVE},
    {"WaveActiveBitAnd", R::Unknown, T::Refused, {}, WAVE},
    {"WaveActiveBitOr", R::Unknown, T::Refused, {}, WAVE},
    {"WaveActiveBitXor", R::Unknown, T::Refused, {}, WAVE},
    {"WaveActiveCountBits", R::Unknown, T::Refused, {}, WAVE},
    {"WaveActiveMax", R::Unknown, T::Refused, {}, WAVE},
    {"WaveActiveMin", R::Unknown, T::Refused, {}, WAVE},
    {"WaveActiveProduct", R::Unknown, T::Refused, {}, WAVE},
    {"WaveActiveSum", R::Unknown, T::Refused, {}, WAVE},
    {"WaveGetLaneCount", R::Unknown, T::Refused, {}, WAVE},
    {"WaveGetLaneIndex", R::Unknown, T::Refused, {}, WAVE},
    {"WaveIsFirstLane", R::Unknown, T::Refused, {}, WAVE},
    {"WavePrefixCountBits", R::Unknown, T::Refused, {}, WAVE},
    {"WavePrefixProduct", R::Unknown, T::Refused, {}, WAVE},
    {"WavePrefixSum", R::Unknown, T::Refused, {}, WAVE},
    {"WaveReadLaneAt", R::Unknown, T::Refused, {}, WAVE},
    {"WaveReadLaneFirst", R::Unknown, T::Refused, {}, WAVE},
    {"abs", R::Arguments, T::Native, {}, {}},
    // No instruction: the compiler's polynomial (error up to 6.7e-5 rad) is the curve.
    {"acos", R::Arguments, T::Helper, "fx_acos",
     "$T fx_acos($T x) { $T a = abs(x); $T r = sqrt(abs(1.0 - a)) * "
     "(((-0.0187293 * a + 0.0742610) * a - 0.2121144) * a + 1.5707288); return mix(3.14159265 - r, r, $GE0); }",
     GLSLstd450Acos, 1},
    {"all", R::Scalar, T::Native, {}, {}},
    {"any", R::Scalar, T::Native, {}, {}},
    {"asin", R::Arguments, T::Helper, "fx_asin",
     "$T fx_asin($T x) { return 1.57079633 - fx_acos(x); }",
     GLSLstd450Asin, 1},
    {"atan", R::Arguments, T::Native, {}, {}},
    {"atan2", R::Arguments, T::Native, {}, {}},
    {"ceil", R::Arguments, T::Native, {}, {}},
    {"clamp", R::Arguments, T::Native, {}, {}},
    {"clip", R::Unknown, T::Native, {}, {}},
    {"cos", R::Arguments, T::Helper, "fx_cos",
     "$T fx_cos($T x) { return cos(fx_reduce(x)); }",
     GLSLstd450Cos, 1},
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
    // GLSL 330 has neither: e = floor(log2|x|) + 1 (0 for 0), the mantissa x * 2^-e.
    {"frexp", R::Arguments, T::Helper, "fx_frexp",
     "$T fx_frexp($T x, out $T e) { e = mix(floor(log2(abs(x))) + 1.0, $T(0.0), $EQ0); return x * exp2(-e); }\n"
     "$T fx_frexp($T x, out $I e) { $T f; $T m = fx_frexp(x, f); e = $I(f); return m; }",
     GLSLstd450Frexp, 2},
    {"fwidth", R::Arguments, T::Native, {}, {}},
    {"isfinite", R::Arguments, T::Native, {}, {}},
    {"isinf", R::Arguments, T::Native, {}, {}},
    {"isnan", R::Arguments, T::Native, {}, {}},
    {"ldexp", R::Arguments, T::Helper, "fx_ldexp",
     "$T fx_ldexp($T x, $T e) { return x * exp2(e); }\n$T fx_ldexp($T x, $I e) { return x * exp2($T(e)); }",
     GLSLstd450Ldexp, 2},
    {"length", R::Scalar, T::Native, {}, {}},
    {"lerp", R::Arguments, T::Native, {}, {}},
    // The back end multiplies where Direct3D 9 raises to the power:
    // lit(n.l, n.h, m) = (1, max(n.l, 0), n.l < 0 || n.h < 0 ? 0 : n.h^m, 1).
    {"lit", R::Vector4, T::Defined, "fx_lit",
     "float4 fx_lit(float l, float h, float m) { return float4(1, max(l, 0), (l < 0 || h < 0) ? 0 : pow(h, m), 1); }\n"},
    // The log, pow and rsq instructions take |x|.
    {"log", R::Arguments, T::Helper, "fx_log",
     "$T fx_log($T x) { return log2(abs(x)) * 0.693147181; }",
     GLSLstd450Log, 1},
    {"log10", R::Arguments, T::Native, {}, {}},
    {"log2", R::Arguments, T::Helper, "fx_log2",
     "$T fx_log2($T x) { return log2(abs(x)); }",
     GLSLstd450Log2, 1},
    {"max", R::Arguments, T::Native, {}, {}},
    {"min", R::Arguments, T::Native, {}, {}},
    {"modf", R::Arguments, T::Native, {}, {}},
    {"mul", R::Product, T::Native, {}, {}},
    // Not a ps_3_0 intrinsic (Direct3D 9 refuses it too); the back end crashes on it.
    {"noise", R::Arguments, T::Refused, {}, "no matching overloaded function found (the noise() intrinsic is not available in ps_3_0)"},
    {"normalize", R::Arguments, T::Native, {}, {}},
    {"pow", R::Arguments, T::Helper, "fx_pow",
     "$T fx_pow($T x, $T y) { return pow(abs(x), y); }",
     GLSLstd450Pow, 2},
    {"radians", R::Arguments, T::Native, {}, {}},
    {"reflect", R::Arguments, T::Native, {}, {}},
    {"refract", R::Arguments, T::Native, {}, {}},
    {"round", R::Arguments, T::Native, {}, {}},
    {"rsqrt", R::Arguments, T::Helper, "fx_rsqrt",
     "$T fx_rsqrt($T x) { return inversesqrt(abs(x)); }",
     GLSLstd450InverseSqrt, 1},
    {"saturate", R::Arguments, T::Native, {}, {}},
    {"sign", R::Arguments, T::Native, {}, {}},
    // The compiler reduces the argument to [-pi, pi] in float first (fx_reduce): large arguments, as
    // hash functions have, depend on it.
    {"sin", R::Arguments, T::Helper, "fx_sin",
     "$T fx_sin($T x) { return sin(fx_reduce(x)); }",
     GLSLstd450Sin, 1},
    {"sincos", R::Unknown, T::Native, {}, {}},
    {"sinh", R::Arguments, T::Native, {}, {}},
    {"smoothstep", R::Arguments, T::Native, {}, {}},
    {"sqrt", R::Arguments, T::Helper, "fx_sqrt",
     "$T fx_sqrt($T x) { return sqrt(abs(x)); }",
     GLSLstd450Sqrt, 1},
    {"step", R::Arguments, T::Native, {}, {}},
    {"tan", R::Arguments, T::Helper, "fx_tan",
     "$T fx_tan($T x) { $T r = fx_reduce(x); return sin(r) * (1.0 / cos(r)); }",
     GLSLstd450Tan, 1},
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
// clang-format on

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

const Intrinsic* helper_for_instruction(int op)
{
    for (const Intrinsic* row : helper_rows()) {
        if (row->glsl_op == op) return row;
    }
    return nullptr;
}

const std::vector<const Intrinsic*>& helper_rows()
{
    static const std::vector<const Intrinsic*> rows = [] {
        std::vector<const Intrinsic*> helpers;
        for (const Intrinsic& row : INTRINSICS) {
            if (row.treatment == T::Helper) helpers.push_back(&row);
        }
        return helpers;
    }();
    return rows;
}

const Intrinsic* find_intrinsic(std::string_view name)
{
    const Intrinsic key{name, R::Unknown, T::Native, {}, {}};
    auto found = std::lower_bound(std::begin(INTRINSICS), std::end(INTRINSICS), key, less);
    return found != std::end(INTRINSICS) && found->name == name ? &*found : nullptr;
}

}  // namespace fxcompiler
