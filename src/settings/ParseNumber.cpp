#include "ParseNumber.h"

#include "Rounding.h"

#include <charconv>
#include <limits>
#include <string>

namespace {

// Walks the text while hiding the characters that are ignored wherever they stand.
class NumberReader
{
public:
    explicit NumberReader(const QString &text) : text_(text) { skipIgnored(); }

    char16_t peek() const { return pos_ < text_.size() ? text_.at(pos_).unicode() : u'\0'; }
    void advance()
    {
        ++pos_;
        skipIgnored();
    }
    bool take(char16_t c)
    {
        if (peek() != c)
            return false;
        advance();
        return true;
    }

private:
    void skipIgnored()
    {
        while (pos_ < text_.size()) {
            const char16_t c = text_.at(pos_).unicode();
            if (c != u' ' && c != u'\t' && c != u'\n')
                break;
            ++pos_;
        }
    }

    const QString &text_;
    qsizetype pos_ = 0;
};

bool IsDecimalDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

int DigitValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return 99;
}

double ReadInBase(NumberReader &in, int base)
{
    double value = 0; // grows to infinity on its own for absurdly long runs
    for (int d = DigitValue(in.peek()); d < base; d = DigitValue(in.peek())) {
        value = value * base + d;
        in.advance();
    }
    return value;
}

// Beyond these decimal exponents a double is certainly infinite or zero.
constexpr qint64 kOverflowExponent = 400;
constexpr qint64 kUnderflowExponent = -400;
constexpr qint64 kExponentCap = 1'000'000'000;

double ReadDecimal(NumberReader &in)
{
    bool negative = false;
    if (in.take(u'-'))
        negative = true;
    else
        in.take(u'+');

    std::string digits;    // significant digits, without leading zeros
    qint64 pointShift = 0; // value = 0.<digits> * 10^pointShift
    bool sawDigit = false;
    for (; IsDecimalDigit(in.peek()); in.advance()) {
        sawDigit = true;
        if (digits.empty() && in.peek() == u'0')
            continue;
        digits.push_back(char(in.peek()));
        ++pointShift;
    }
    if (in.take(u'.')) {
        for (; IsDecimalDigit(in.peek()); in.advance()) {
            sawDigit = true;
            if (digits.empty() && in.peek() == u'0') {
                --pointShift;
                continue;
            }
            digits.push_back(char(in.peek()));
        }
    }
    if (!sawDigit)
        return 0;

    qint64 exponent = 0;
    if (in.peek() == u'e' || in.peek() == u'E') {
        // An exponent counts only with at least one digit; otherwise the number ends before
        // the E, and nothing after it matters.
        in.advance();
        bool exponentNegative = false;
        if (in.take(u'-'))
            exponentNegative = true;
        else
            in.take(u'+');
        for (; IsDecimalDigit(in.peek()); in.advance()) {
            if (exponent < kExponentCap)
                exponent = exponent * 10 + (in.peek() - u'0');
        }
        if (exponentNegative)
            exponent = -exponent;
    }

    while (!digits.empty() && digits.back() == '0')
        digits.pop_back();
    double magnitude = 0;
    if (!digits.empty()) {
        const qint64 scale = pointShift + exponent;
        if (scale > kOverflowExponent) {
            magnitude = std::numeric_limits<double>::infinity();
        } else if (scale >= kUnderflowExponent) {
            // from_chars gives the correctly rounded double and ignores the locale.
            const std::string text = "0." + digits + "e" + std::to_string(scale);
            const auto result = std::from_chars(text.data(), text.data() + text.size(), magnitude);
            if (result.ec == std::errc::result_out_of_range)
                magnitude = scale > 0 ? std::numeric_limits<double>::infinity() : 0.0;
        }
    }
    return negative ? -magnitude : magnitude;
}

} // namespace

double ParseNumber(const QString &text)
{
    NumberReader in(text);
    if (in.take(u'&')) {
        if (in.take(u'h') || in.take(u'H'))
            return ReadInBase(in, 16);
        if (in.take(u'o') || in.take(u'O'))
            return ReadInBase(in, 8);
        return 0;
    }
    return ReadDecimal(in);
}

std::optional<qint64> WholeNumberIn(double value, qint64 min, qint64 max)
{
    const std::optional<qint64> n = RoundHalfEven(value);
    if (!n || *n < min || *n > max)
        return std::nullopt;
    return n;
}
