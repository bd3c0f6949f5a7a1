// Fixed-column text reading and Fortran-style writing, shared by every text reader and
// writer of the system.
//
// Reading: fields are addressed by 1-based, inclusive columns first..last of a line.
// Writing: iN, fW.D, eW.D and aN fields, and free-format (list-directed) lines.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

// Outcome of reading one field.
inline constexpr int text_field_ok = 0;
inline constexpr int text_field_short = 1;  // the line ends before the field's first column
inline constexpr int text_field_bad = 3;    // the field does not hold a number

// Integer from columns first..last; blanks are ignored, an all-blank field reads 0.
int read_fixed_int(std::string_view line, int first, int last, int& value);
// Real from columns first..last with `decimals` implied decimals: a field without a
// decimal point or exponent is divided by 10^decimals ("1234" in f7.2 reads 12.34);
// a field with a decimal point reads as written; exponents (E, D, or a signed
// exponent after the digits) are accepted. An all-blank field reads 0.
int read_fixed_real(std::string_view line, int first, int last, int decimals, float& value);
// Text from columns first..last with trailing blanks removed (missing columns read blank).
int read_fixed_text(std::string_view line, int first, int last, std::string& value);

// Reads the next line of a text stream into `line` without its line end ("\n", "\r\n" or a
// lone "\r"); false at the end of the stream, when nothing was left to read.
bool read_text_line(std::FILE* stream, std::string& line);

// A line label as compared with the labels a file format writes: lower case, runs of
// blanks and tabs as one blank, no leading or trailing blanks, no trailing colons
// ("  Live leaf   REFLECTANCES :" gives "live leaf reflectances").
std::string normalise_label(std::string_view label);

// Removes trailing blanks (and a trailing carriage return).
std::string trim_right(std::string_view text);
// Removes leading and trailing blanks.
std::string trim_both(std::string_view text);

// Fortran iN (and iN.M with min_digits M: zero-padded to at least M digits, as in i3.3):
// right-aligned in width; width asterisks when it does not fit.
std::string write_i(long long value, int width, int min_digits = 1);
// Fortran fW.D: width asterisks when the value does not fit (or is not finite).
std::string write_f(double value, int width, int decimals);
// Fortran eW.D: "0.ddddE+xx" form, right-aligned; asterisks when it does not fit.
std::string write_e(double value, int width, int decimals);
// Fortran aN: right-aligned when shorter than width, cut to the first width characters when longer.
std::string write_a(std::string_view text, int width);
// fW.D, or with fewer decimals (down to none) when the value does not fit in width:
// -9999.0 in f7.2 gives "-9999.0", -999.0 gives "-999.00".
std::string write_f_fitting(double value, int width, int decimals);

// A line of a labelled configuration file, as LabelledLineReader reads it: the label cut or
// blank-padded to label_width columns, then the value.
std::string labelled_line(std::string_view label, std::string_view value, int label_width = 30);
// The lines one after another, each ended by a newline.
std::string join_lines(const std::vector<std::string>& lines);

// Free-format (list-directed) line: a leading blank; text pieces follow one another
// directly; an integer takes one blank and is right-aligned in 11; a real takes one blank
// and a general form with 9 significant digits; a text after a number gets one blank.
class FreeLine {
public:
    FreeLine() : line_(" ") {}
    FreeLine& operator<<(std::string_view text);
    FreeLine& operator<<(const std::string& text) { return *this << std::string_view(text); }
    FreeLine& operator<<(const char* text) { return *this << std::string_view(text); }
    FreeLine& operator<<(int value);
    FreeLine& operator<<(long value);
    FreeLine& operator<<(long long value);
    FreeLine& operator<<(unsigned value) { return *this << static_cast<long long>(value); }
    FreeLine& operator<<(unsigned long value) { return *this << static_cast<long long>(value); }
    FreeLine& operator<<(float value);
    FreeLine& operator<<(double value);
    const std::string& str() const { return line_; }
    operator const std::string&() const { return line_; }

private:
    std::string line_;
    bool after_number_ = false;
};

// Free-format rendering of one real (without the leading blank).
std::string free_real(double value);

// Sequential reader of "label, then value" configuration lines: the first label_width
// columns of every line are a free label; the value starts in the next column. Every call
// reads the next line; a failed call leaves the value as it was. A text field that lies
// beyond the end of its line reads as blanks; a number must be there: a blank or missing
// numeric value fails the call.
class LabelledLineReader {
public:
    explicit LabelledLineReader(std::FILE* stream, int label_width = 30)
        : stream_(stream), label_width_(label_width) {}
    bool skip();                                       // any line
    bool text(int width, std::string& value);          // aW, trailing blanks removed
    bool integer(int width, int& value);               // iW
    bool real(int width, int decimals, float& value);  // fW.D or eW.D
    int line_number() const { return line_number_; }   // 1-based number of the last line asked for
    bool ended() const { return ended_; }              // the file ended before that line
    std::string label() const;                         // label columns of the last line read
    const std::string& line() const { return line_; }  // the last line read, without its end

private:
    bool next_line(std::string& line);
    std::FILE* stream_;
    int label_width_;
    std::string line_;
    int line_number_ = 0;
    bool ended_ = false;
};
