package com.jaunt.runtime;

import java.util.ArrayDeque;

/**
 * The hand-overs of later instances on their way to the application's listener: a bounded queue
 * and the one daemon thread that calls the listener, one hand-over at a time, in arrival order.
 * While no listener is set, hand-overs wait in the queue.
 */
final class HandOverQueue {
    /** Name of the thread that calls the listener. */
    static final String THREAD_NAME = "Jaunt single-instance listener";

    private final int capacity;
    private final Object lock = new Object();
    // Guarded by lock.
    private final ArrayDeque<String[]> pending = new ArrayDeque<String[]>();
    private SingleInstance.Listener listener;
    private Thread thread;
    private boolean stopped;

    HandOverQueue(int capacity) {
        this.capacity = capacity;
    }

    /** Whether another hand-over fits; the watcher leaves the file alone while it does not. */
    boolean hasRoom() {
        synchronized (lock) {
            return pending.size() < capacity;
        }
    }

    /**
     * Queues one hand-over for the listener.
     *
     * @return false, queueing nothing, when the queue is full
     */
    boolean offer(String[] arguments) {
        synchronized (lock) {
            if (pending.size() >= capacity) {
                return false;
            }
            pending.add(arguments);
            startThread();
            lock.notifyAll();
            return true;
        }
    }

    /** Sets the listener (null removes it); queued hand-overs go to the new one. */
    void setListener(SingleInstance.Listener newListener) {
        synchronized (lock) {
            listener = newListener;
            if (newListener != null) {
                startThread();
            }
            lock.notifyAll();
        }
    }

    /** Ends the delivery thread after the hand-over it is delivering; used by tests. */
    void stop() {
        synchronized (lock) {
            stopped = true;
            lock.notifyAll();
        }
    }

    // Called with lock held. The thread starts with the first hand-over or listener, so a JVM
    // that never sees either has no such thread.
    private void startThread() {
        if (thread != null || stopped) {
            return;
        }
        thread = new Thread(new Runnable() {
            @Override
            public void run() {
                deliver();
            }
        }, THREAD_NAME);
        thread.setDaemon(true);
        // The same loader the application's main runs with, whichever thread got here first.
        thread.setContextClassLoader(ClassLoader.getSystemClassLoader());
        thread.start();
    }

    private void deliver() {
        Thread self = Thread.currentThread();
        while (true) {
            String[] arguments;
            SingleInstance.Listener target;
            synchronized (lock) {
                while (!stopped && (listener == null || pending.isEmpty())) {
                    try {
                        lock.wait();
                    } catch (InterruptedException e) {
                        return;
                    }
                }
                if (stopped) {
                    return;
                }
                arguments = pending.poll();
                target = listener;
            }
            try {
                target.newInstanceStarted(arguments);
            } catch (Throwable failure) {
                // A failing listener must not end the delivery of later hand-overs; the failure
                // goes where the application sends uncaught exceptions.
                self.getUncaughtExceptionHandler().uncaughtException(self, failure);
            }
        }
    }
}
