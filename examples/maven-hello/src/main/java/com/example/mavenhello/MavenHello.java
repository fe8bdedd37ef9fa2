package com.example.mavenhello;

import com.jaunt.runtime.JauntController;
import org.apache.commons.lang3.StringUtils;

/** Greets whoever the arguments name, in a box drawn with commons-lang3. */
public final class MavenHello {
    private MavenHello() {}

    public static void main(String[] args) {
        JauntController.setStatusText("Starting");
        String who = args.length > 0 ? StringUtils.join(args, ' ') : "world";
        String line = "Hello, " + StringUtils.capitalize(who) + "!";
        String rule = StringUtils.repeat('-', line.length());
        System.out.println(rule);
        System.out.println(line);
        System.out.println(rule);
        JauntController.closeSplash();
    }
}
