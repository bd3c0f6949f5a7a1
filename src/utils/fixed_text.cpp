// Fixed-column text reading and Fortran-style writing.
#include "utils/fixed_text.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

std::string field_of(std::string_view line, int first, int last) {
    std::size_t begin = static_cast<std::size_t>(first - 1);
    if (begin >= line.size() || last < first) return std::string();
    std::size_t count = static_cast<std::size_t>(last - first + 1);
    std::string field(line.substr(begin, count));
    for (char& c : field)
        if (c == '\t' || c == '\r' || c == '\n') c = ' ';
    return field;
}

std::string without_blanks(std::string_view field) {
    std::string out;
    for (char c : field)
        if (c != ' ') out.push_back(c);
    return out;
}

}  // namespace

std::string trim_right(std::string_view text) {
    std::size_t end = text.find_last_not_of(" \r\n\t");
    return end == std::string_view::npos ? std::string() : std::string(text.substr(0, end + 1));
}

std::string trim_both(std::string_view text) {
    std::size_t begin = text.find_first_not_of(" \r\n\t");
    if (begin == std::string_view::npos) return std::string();
    std::size_t end = text.find_last_not_of(" \r\n\t");
    return std::string(text.substr(begin, end - begin + 1));
}

int read_fixed_int(std::string_view line, int first, int last, int& value) {
    value = 0;
    if (first < 1 || static_cast<std::size_t>(first) > line.size()) return text_field_short;
    std::string digits = without_blanks(field_of(line, first, last));
    if (digits.empty()) return text_field_ok;
    std::size_t pos = 0;
    if (digits[0] == '+' || digits[0] == '-') pos = 1;
    if (pos == digits.size()) return text_field_bad;
    for (std::size_t i = pos; i < digits.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(digits[i]))) return text_field_bad;
    long long parsed = std::strtoll(digits.c_str(), nullptr, 10);
    if (parsed > 2147483647LL || parsed < -2147483648LL) return text_field_bad;
    value = static_cast<int>(parsed);
    return text_field_ok;
}

namespace {

// Splits a blank-free real field into mantissa and exponent texts: the exponent follows
// an E or D letter, or is a sign after the first character ("1.5-3"). false when a
// letter has no exponent after it.
bool split_exponent(const std::string& text, std::string& mantissa, std::string& exponent) {
    mantissa = text;
    exponent.clear();
    for (std::size_t i = 1; i < text.size(); ++i) {
        char c = static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
        if (c == 'E' || c == 'D') {
            mantissa = text.substr(0, i);
            exponent = text.substr(i + 1);
            return !exponent.empty();
        }
        if (c == '+' || c == '-') {
            mantissa = text.substr(0, i);
            exponent = text.substr(i);
            return true;
        }
    }
    return true;
}

// Optional sign, digits and at most one decimal point; the magnitude in `number`.
bool parse_mantissa(const std::string& mantissa, double& number, bool& has_point) {
    std::size_t pos = (!mantissa.empty() && (mantissa[0] == '+' || mantissa[0] == '-')) ? 1 : 0;
    has_point = false;
    int digit_count = 0;
    for (std::size_t i = pos; i < mantissa.size(); ++i) {
        char c = mantissa[i];
        if (c == '.') {
            if (has_point) return false;
            has_point = true;
        } else if (std::isdigit(static_cast<unsigned char>(c))) {
            ++digit_count;
        } else {
            return false;
        }
    }
    if (digit_count == 0) return false;
    number = std::strtod(mantissa.c_str() + pos, nullptr);
    if (pos == 1 && mantissa[0] == '-') number = -number;
    return true;
}

// Optional sign and at most four digits (far beyond the range of a 4-byte real).
bool parse_exponent(const std::string& exponent, int& value) {
    value = 0;
    if (exponent.empty()) return true;
    std::size_t pos = (exponent[0] == '+' || exponent[0] == '-') ? 1 : 0;
    if (pos == exponent.size() || exponent.size() - pos > 4) return false;
    for (std::size_t i = pos; i < exponent.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(exponent[i]))) return false;
    value = std::atoi(exponent.c_str());
    return true;
}

}  // namespace

int read_fixed_real(std::string_view line, int first, int last, int decimals, float& value) {
    value = 0.0f;
    if (first < 1 || static_cast<std::size_t>(first) > line.size()) return text_field_short;
    std::string text = without_blanks(field_of(line, first, last));
    if (text.empty()) return text_field_ok;
    std::string mantissa, exponent;
    double number = 0.0;
    bool has_point = false;
    int exponent_value = 0;
    if (!split_exponent(text, mantissa, exponent) || !parse_mantissa(mantissa, number, has_point) ||
        !parse_exponent(exponent, exponent_value))
        return text_field_bad;
    // Without a decimal point the field carries `decimals` implied decimals.
    if (!has_point) number /= std::pow(10.0, decimals);
    number *= std::pow(10.0, exponent_value);
    if (!std::isfinite(number) || std::fabs(number) > 3.4e38) return text_field_bad;
    value = static_cast<float>(number);
    return text_field_ok;
}

int read_fixed_text(std::string_view line, int first, int last, std::string& value) {
    value = trim_right(field_of(line, first, last));
    if (first < 1 || static_cast<std::size_t>(first) > line.size()) return text_field_short;
    return text_field_ok;
}

std::string write_i(long long value, int width, int min_digits) {
    std::string digits = std::to_string(value);
    if (value < 0) digits.erase(0, 1);
    if (static_cast<int>(digits.size()) < min_digits)
        digits.insert(0, static_cast<std::size_t>(min_digits) - digits.size(), '0');
    std::string text = value < 0 ? "-" + digits : digits;
    std::size_t w = static_cast<std::size_t>(std::max(width, 0));
    if (text.size() > w) return std::string(w, '*');
    return std::string(w - text.size(), ' ') + text;
}

std::string write_f(double value, int width, int decimals) {
    std::string stars(static_cast<std::size_t>(width), '*');
    if (!std::isfinite(value)) return stars;
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    std::string text = buffer;
    if (decimals == 0) text += '.';  // Fortran keeps the decimal point of f W.0
    // A value that rounds to zero prints without a minus sign.
    if (text[0] == '-' && text.find_first_of("123456789") == std::string::npos) text.erase(0, 1);
    if (static_cast<int>(text.size()) > width) {
        // Fortran drops the optional leading zero before giving up.
        if (text.rfind("0.", 0) == 0)
            text.erase(0, 1);
        else if (text.rfind("-0.", 0) == 0)
            text.erase(1, 1);
    }
    if (static_cast<int>(text.size()) > width) return stars;
    return std::string(static_cast<std::size_t>(width) - text.size(), ' ') + text;
}

std::string write_f_fitting(double value, int width, int decimals) {
    std::string text = write_f(value, width, decimals);
    while (decimals > 0 && text.find('*') != std::string::npos)
        text = write_f(value, width, --decimals);
    return text;
}

std::string labelled_line(std::string_view label, std::string_view value, int label_width) {
    std::string line(
        label.substr(0, std::min(label.size(), static_cast<std::size_t>(label_width))));
    line.resize(static_cast<std::size_t>(label_width), ' ');
    line += value;
    return line;
}

std::string join_lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& l : lines) {
        text += l;
        text += '\n';
    }
    return text;
}

std::string write_e(double value, int width, int decimals) {
    std::string stars(static_cast<std::size_t>(width), '*');
    if (!std::isfinite(value)) return stars;
    int exponent = 0;
    double mantissa = 0.0;
    if (value != 0.0) {
        exponent = static_cast<int>(std::floor(std::log10(std::fabs(value)))) + 1;
        mantissa = std::fabs(value) / std::pow(10.0, exponent);
        // Rounding to `decimals` digits may carry into a new leading digit.
        double scale = std::pow(10.0, decimals);
        double rounded = std::round(mantissa * scale) / scale;
        if (rounded >= 1.0) {
            mantissa /= 10.0;
            ++exponent;
        } else if (rounded < 0.1) {
            mantissa *= 10.0;
            --exponent;
        }
    }
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, mantissa);
    std::string text = buffer;  // "0.dddd"
    char exp_text[16];
    if (std::abs(exponent) < 100)
        std::snprintf(exp_text, sizeof exp_text, "E%c%02d", exponent < 0 ? '-' : '+',
                      std::abs(exponent));
    else
        std::snprintf(exp_text, sizeof exp_text, "%c%03d", exponent < 0 ? '-' : '+',
                      std::abs(exponent));
    text += exp_text;
    if (value < 0.0) text = "-" + text;
    if (static_cast<int>(text.size()) > width && text.rfind("0.", 0) == 0) text.erase(0, 1);
    if (static_cast<int>(text.size()) > width && text.rfind("-0.", 0) == 0) text.erase(1, 1);
    if (static_cast<int>(text.size()) > width) return stars;
    return std::string(static_cast<std::size_t>(width) - text.size(), ' ') + text;
}

std::string write_a(std::string_view text, int width) {
    std::size_t w = static_cast<std::size_t>(width);
    if (text.size() >= w) return std::string(text.substr(0, w));
    return std::string(w - text.size(), ' ') + std::string(text);
}

std::string free_real(double value) {
    if (!std::isfinite(value))
        return std::isnan(value) ? "NaN" : (value > 0 ? "Infinity" : "-Infinity");
    double magnitude = std::fabs(value);
    char buffer[64];
    if (value == 0.0) {
        std::snprintf(buffer, sizeof buffer, "%.8f", 0.0);
    } else if (magnitude >= 0.1 && magnitude < 1.0e8) {
        int int_digits =
            magnitude < 1.0 ? 1 : static_cast<int>(std::floor(std::log10(magnitude))) + 1;
        int decimals = 9 - int_digits;
        if (decimals < 1) decimals = 1;
        if (magnitude < 1.0) decimals = 9;
        std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    } else {
        std::snprintf(buffer, sizeof buffer, "%.8E", value);
    }
    return buffer;
}

FreeLine& FreeLine::operator<<(std::string_view text) {
    if (after_number_) line_ += ' ';
    line_ += text;
    after_number_ = false;
    return *this;
}

FreeLine& FreeLine::operator<<(long long value) {
    line_ += ' ';
    line_ += write_i(value, 11);
    after_number_ = true;
    return *this;
}

FreeLine& FreeLine::operator<<(int value) {
    return *this << static_cast<long long>(value);
}
FreeLine& FreeLine::operator<<(long value) {
    return *this << static_cast<long long>(value);
}

FreeLine& FreeLine::operator<<(double value) {
    line_ += ' ';
    std::string text = free_real(value);
    if (text.size() < 15) line_ += std::string(15 - text.size(), ' ');
    line_ += text;
    after_number_ = true;
    return *this;
}

FreeLine& FreeLine::operator<<(float value) {
    return *this << static_cast<double>(value);
}

// ---- configuration lines ----

bool read_text_line(std::FILE* stream, std::string& line) {
    line.clear();
    if (stream == nullptr) return false;
    int c = 0;
    bool any = false;
    while ((c = std::fgetc(stream)) != EOF) {
        any = true;
        if (c == '\n') break;
        if (c == '\r') {  // "\r\n", or a lone "\r" of a file with old Mac line ends
            const int next = std::fgetc(stream);
            if (next != '\n' && next != EOF) std::ungetc(next, stream);
            break;
        }
        line.push_back(static_cast<char>(c));
    }
    return any;
}

std::string normalise_label(std::string_view label) {
    std::string out;
    bool blank = false;
    for (char c : label) {
        if (c == ' ' || c == '\t') {
            blank = !out.empty();
            continue;
        }
        if (blank) out.push_back(' ');
        blank = false;
        out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    }
    while (!out.empty() && (out.back() == ':' || out.back() == ' ')) out.pop_back();
    return out;
}

namespace {

// True when columns first..last of the line hold something other than blanks.
bool has_value(std::string_view line, int first, int last) {
    std::string text;
    read_fixed_text(line, first, last, text);
    return !trim_both(text).empty();
}

}  // namespace

bool LabelledLineReader::next_line(std::string& line) {
    ++line_number_;
    line.clear();
    if (ended_ || stream_ == nullptr) {
        ended_ = true;
        return false;
    }
    if (!read_text_line(stream_, line)) {
        ended_ = true;
        line_.clear();
        return false;
    }
    line_ = line;
    return true;
}

std::string LabelledLineReader::label() const {
    std::string text;
    read_fixed_text(line_, 1, label_width_, text);
    return text;
}

bool LabelledLineReader::skip() {
    std::string line;
    return next_line(line);
}

bool LabelledLineReader::text(int width, std::string& value) {
    std::string line;
    if (!next_line(line)) return false;
    read_fixed_text(line, label_width_ + 1, label_width_ + width, value);
    return true;
}

bool LabelledLineReader::integer(int width, int& value) {
    std::string line;
    if (!next_line(line)) return false;
    int read = 0;
    // a blank value, or a line ending before it, holds no number
    if (read_fixed_int(line, label_width_ + 1, label_width_ + width, read) != text_field_ok ||
        !has_value(line, label_width_ + 1, label_width_ + width))
        return false;
    value = read;
    return true;
}

bool LabelledLineReader::real(int width, int decimals, float& value) {
    std::string line;
    if (!next_line(line)) return false;
    float read = 0.0f;
    if (read_fixed_real(line, label_width_ + 1, label_width_ + width, decimals, read) !=
            text_field_ok ||
        !has_value(line, label_width_ + 1, label_width_ + width))
        return false;
    value = read;
    return true;
}
