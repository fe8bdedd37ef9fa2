package com.jaunt.runtime.testapps;

/** Its main is not static. */
public class InstanceMainApp {
    public void main(String[] args) {
    }
}
