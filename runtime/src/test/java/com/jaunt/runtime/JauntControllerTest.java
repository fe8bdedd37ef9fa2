package com.jaunt.runtime;

import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertFalse;
import static org.junit.Assert.assertNull;
import static org.junit.Assert.assertTrue;
import static org.junit.Assert.fail;

import java.util.ArrayList;
import java.util.HashMap;
import java.util.HashSet;
import java.util.List;
import java.util.Map;
import java.util.Set;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.atomic.AtomicBoolean;
import org.junit.Before;
import org.junit.Test;

public class JauntControllerTest {
    @Before
    public void startFresh() {
        JauntController.reset();
    }

    /** One poll as the launcher's splash thread makes it: the action, then the text for 2. */
    private static String poll() {
        return JauntController.getAction() == JauntController.ACTION_SET_TEXT
                ? JauntController.getText() : null;
    }

    @Test
    public void actionCodesAreTheLaunchersOwn() {
        assertEquals(0, JauntController.ACTION_NONE);
        assertEquals(1, JauntController.ACTION_CLOSE);
        assertEquals(2, JauntController.ACTION_SET_TEXT);
    }

    @Test
    public void aStatusTextIsHandedOverOnce() {
        assertEquals(JauntController.ACTION_NONE, JauntController.getAction());
        assertNull(JauntController.getText());

        JauntController.setStatusText("Loading modules…");
        assertEquals(JauntController.ACTION_SET_TEXT, JauntController.getAction());
        assertEquals("asking again changes nothing", JauntController.ACTION_SET_TEXT,
                JauntController.getAction());
        assertEquals("Loading modules…", JauntController.getText());
        assertEquals(JauntController.ACTION_NONE, JauntController.getAction());
        assertNull(JauntController.getText());

        // The same text set again is handed over again.
        JauntController.setStatusText("Loading modules…");
        assertEquals("Loading modules…", poll());
    }

    @Test
    public void onlyTheLatestTextBetweenTwoPollsIsShown() {
        JauntController.setStatusText("one");
        JauntController.setStatusText("two");
        JauntController.setStatusText("three");
        assertEquals("three", poll());
        assertNull(poll());
    }

    @Test
    public void aNullTextClearsTheLine() {
        JauntController.setStatusText(null);
        assertEquals("", poll());
    }

    @Test
    public void aCloseRequestIsFinalAndWinsOverText() {
        JauntController.setStatusText("before");
        assertFalse(JauntController.isCloseRequested());
        JauntController.closeSplash();
        assertTrue(JauntController.isCloseRequested());
        assertEquals(JauntController.ACTION_CLOSE, JauntController.getAction());
        JauntController.setStatusText("after");
        JauntController.closeSplash();
        assertEquals(JauntController.ACTION_CLOSE, JauntController.getAction());
        assertEquals(JauntController.ACTION_CLOSE, JauntController.getAction());
    }

    @Test
    public void concurrentWritersAndAPollingThreadAgree() throws Exception {
        final int writers = 4;
        final int texts = 5000;
        final List<String> fetched = new ArrayList<String>();
        final AtomicBoolean writing = new AtomicBoolean(true);
        final CountDownLatch start = new CountDownLatch(1);

        Thread poller = new Thread(new Runnable() {
            @Override
            public void run() {
                while (writing.get()) {
                    String text = poll();
                    if (text != null) {
                        fetched.add(text);
                    }
                }
            }
        });
        List<Thread> threads = new ArrayList<Thread>();
        for (int w = 0; w < writers; w++) {
            final int id = w;
            threads.add(new Thread(new Runnable() {
                @Override
                public void run() {
                    try {
                        start.await();
                    } catch (InterruptedException e) {
                        return;
                    }
                    for (int i = 0; i < texts; i++) {
                        JauntController.setStatusText(id + ":" + i);
                    }
                }
            }));
        }
        poller.start();
        for (Thread thread : threads) {
            thread.start();
        }
        start.countDown();
        for (Thread thread : threads) {
            thread.join();
        }
        writing.set(false);
        poller.join();
        String last = poll();
        if (last != null) {
            fetched.add(last);
        }

        assertFalse("the poller saw some texts", fetched.isEmpty());
        assertEquals("no text was handed over twice", fetched.size(),
                new HashSet<String>(fetched).size());
        // A writer's texts arrive in the order it set them, never an older one after a newer one.
        Map<String, Integer> newest = new HashMap<String, Integer>();
        Set<String> lastTexts = new HashSet<String>();
        for (int w = 0; w < writers; w++) {
            lastTexts.add(w + ":" + (texts - 1));
        }
        for (String text : fetched) {
            String[] parts = text.split(":");
            int index = Integer.parseInt(parts[1]);
            Integer before = newest.put(parts[0], index);
            if (before != null && before >= index) {
                fail(text + " came after " + parts[0] + ":" + before);
            }
        }
        // Whatever was set last is not lost: it is the final text handed over.
        assertTrue(fetched.get(fetched.size() - 1), lastTexts.contains(fetched.get(fetched.size() - 1)));
        assertNull(poll());
    }

    @Test
    public void aCloseFromAnotherThreadReachesThePoller() throws Exception {
        final CountDownLatch closed = new CountDownLatch(1);
        Thread poller = new Thread(new Runnable() {
            @Override
            public void run() {
                long end = System.nanoTime() + TimeUnit.SECONDS.toNanos(30);
                while (System.nanoTime() < end) {
                    if (JauntController.getAction() == JauntController.ACTION_CLOSE) {
                        closed.countDown();
                        return;
                    }
                    Thread.yield();
                }
            }
        });
        poller.start();
        Thread closer = new Thread(new Runnable() {
            @Override
            public void run() {
                JauntController.setStatusText("almost ready");
                JauntController.closeSplash();
            }
        });
        closer.start();
        assertTrue("the poller saw the close request", closed.await(30, TimeUnit.SECONDS));
        closer.join();
        poller.join();
    }
}
