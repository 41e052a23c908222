package com.zemdyn.tavrix.sim;

/**
 * Faults of a simulated controller's side of the bus, for testing the robot's failure paths; the
 * C++ {@code tavrix::sim::BusFaults}. A plain value: set the fields, then hand it to {@link
 * SimController#setBusFaults}.
 */
public final class BusFaults {
  /** Answers no request at all. */
  public boolean silent;
  /** Replies go out this much later on the simulated clock, in microseconds. */
  public long replyDelayUs;
  /** At least 0: replies are cut to at most this many bytes; -1 leaves them whole. */
  public int replyLength = -1;
  /** The follower echo comes back with its last byte flipped. */
  public boolean corruptFollowerEcho;
  /** Unplugged: no status frame is sent. */
  public boolean statusFramesStopped;

  /** No faults. */
  public BusFaults() {}
}
