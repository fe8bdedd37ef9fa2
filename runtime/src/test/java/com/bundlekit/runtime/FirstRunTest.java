package com.bundlekit.runtime;

import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertFalse;
import static org.junit.Assert.assertTrue;

import org.junit.After;
import org.junit.Before;
import org.junit.Test;

public class FirstRunTest {
    private String saved;

    @Before
    public void saveProperty() {
        saved = System.getProperty(FirstRun.FIRST_RUN_PROPERTY);
        System.clearProperty(FirstRun.FIRST_RUN_PROPERTY);
    }

    @After
    public void restoreProperty() {
        if (saved == null) {
            System.clearProperty(FirstRun.FIRST_RUN_PROPERTY);
        } else {
            System.setProperty(FirstRun.FIRST_RUN_PROPERTY, saved);
        }
    }

    @Test
    public void goesOnUnlessTheInstallationSaysFalse() {
        assertEquals("jaunt.firstRun", FirstRun.FIRST_RUN_PROPERTY);
        assertTrue("no property: go on", FirstRun.firstRun());
        for (String value : new String[] {"true", "", "no", "0", "stop", "falsehood"}) {
            System.setProperty(FirstRun.FIRST_RUN_PROPERTY, value);
            assertTrue("value \"" + value + "\" lets the start go on", FirstRun.firstRun());
        }
        for (String value : new String[] {"false", "FALSE", " False\t"}) {
            System.setProperty(FirstRun.FIRST_RUN_PROPERTY, value);
            assertFalse("value \"" + value + "\" stops the start", FirstRun.firstRun());
        }
    }
}
