package com.jaunt.runtime;

import java.util.ArrayList;
import java.util.List;

/**
 * Splits an argument text the way the launcher splits its command line: only the blank (U+0020)
 * separates, double and single quotes group and are removed, and there is no escape character.
 *
 * <p>An argument that begins with a quote runs to the next quote of the same kind; text right after
 * the closing quote starts a new argument. A quote further inside an argument keeps the text before
 * it as the start of that argument (so {@code -Dname="a b"} gives {@code -Dname=a b}). An empty
 * pair of quotes gives an empty argument; runs of blanks give none.
 */
final class ArgumentSplitter {
    private static final char BLANK = ' ';
    private static final char DOUBLE_QUOTE = '"';
    private static final char SINGLE_QUOTE = '\'';

    private ArgumentSplitter() {
    }

    /**
     * Appends the arguments of {@code text} to {@code into}, in order, as the launcher does.
     *
     * @return false when the text holds a quote without its partner; the arguments before that
     *     quote's argument are then in {@code into}, the rest of the text is not
     */
    static boolean split(String text, List<String> into) {
        return split(text, into, false);
    }

    /**
     * Splits the arguments that a later instance handed over. The launcher refuses a command line
     * with a quote without its partner; here the user's arguments are kept instead: such a quote
     * runs to the end of the text, as though it were closed there.
     */
    static String[] splitHandOver(String text) {
        List<String> arguments = new ArrayList<String>();
        split(text, arguments, true);
        return arguments.toArray(new String[0]);
    }

    private static boolean split(String text, List<String> into, boolean closeAtEnd) {
        int length = text.length();
        int p = 0;
        while (p < length) {
            if (text.charAt(p) == BLANK) {
                p++;
                continue;
            }
            int blank = text.indexOf(BLANK, p);
            int quote = firstOf(text.indexOf(DOUBLE_QUOTE, p), text.indexOf(SINGLE_QUOTE, p));
            if (quote < 0 || (blank >= 0 && blank < quote)) {
                // A plain argument up to the next blank, or the rest of the text.
                int end = blank < 0 ? length : blank;
                into.add(text.substring(p, end));
                p = end + 1;
                continue;
            }
            int close = text.indexOf(text.charAt(quote), quote + 1);
            if (close < 0) {
                if (!closeAtEnd) {
                    return false;
                }
                close = length;
            }
            into.add(text.substring(p, quote) + text.substring(quote + 1, close));
            // One blank right after the closing quote belongs to it.
            p = close + 1;
            if (p < length && text.charAt(p) == BLANK) {
                p++;
            }
        }
        return true;
    }

    /** The smaller of two positions where -1 means absent. */
    private static int firstOf(int a, int b) {
        if (a < 0) {
            return b;
        }
        return b < 0 || a < b ? a : b;
    }
}
