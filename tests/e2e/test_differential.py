"""Generated requests and settings through w3svc with the filter, each answer judged
against the same server without it (differential.py). The seed is printed so that a
failure can be run again: python3 differential.py --seed S --requests N."""
import os
import random
import sys
import unittest

import differential


class DifferentialTest(unittest.TestCase):
    def test_every_answer_matches_the_origin(self):
        seed = int(os.environ.get("TAMSIC_DIFF_SEED", random.randrange(1 << 31)))
        requests = int(os.environ.get("TAMSIC_DIFF_REQUESTS", 3000))
        print("differential seed %d" % seed, file=sys.stderr)
        failures = differential.run(seed, requests, rounds=6, out=sys.stderr)
        self.assertEqual(failures, [], "\n".join(failures[:3]))


if __name__ == "__main__":
    unittest.main()
