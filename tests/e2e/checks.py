"""Check reporting shared by the end-to-end scripts: each check prints one
ok/FAIL line, failures are collected, and the script's exit status says
whether any failed."""

FAILURES = []


def check(condition, message):
    print(("ok   - " if condition else "FAIL - ") + message, flush=True)
    if not condition:
        FAILURES.append(message)
    return condition


def info(message):
    print("     " + message, flush=True)


def summary():
    """Prints the closing line and returns the exit status."""
    if FAILURES:
        print("%d check(s) failed" % len(FAILURES))
        return 1
    print("all checks passed")
    return 0
