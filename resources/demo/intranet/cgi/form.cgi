#!/bin/sh
# Echoes a posted form back: the answer to a POST, compressed like any page.
body=$(head -c "${CONTENT_LENGTH:-0}")
printf 'Content-Type: text/html\r\nCache-Control: no-cache\r\n\r\n'
printf '<html>\n  <body>\n    <h2>Thank you</h2>\n    <p>We received %s bytes:</p>\n    <pre>%s</pre>\n' \
  "${CONTENT_LENGTH:-0}" "$body"
i=0
while [ $i -lt 40 ]; do printf '    <p>Your request is in the queue and will be handled soon.</p>\n'; i=$((i+1)); done
printf '  </body>\n</html>\n'
