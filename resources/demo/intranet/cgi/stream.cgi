#!/bin/sh
# Live status: a page written piece by piece, without a Content-Length, so the web server
# sends it chunked and the filter compresses it whole.
printf 'Content-Type: text/html\r\n\r\n'
printf '<html>\n  <head>\n    <title>Live status</title>\n  </head>\n  <body>\n'
printf '    <!-- generated on each request -->\n    <h2>Live status</h2>\n    <table border="1">\n'
for service in Mail Web Printing Telephony Backup Intranet Payroll Storage; do
  printf '      <tr>    <td>%s</td>    <td>running</td>    <td>checked %s</td>    </tr>\n' \
    "$service" "$(date -u '+%H:%M:%S')"
  sleep 0.05
done
printf '    </table>\n    <p>Requested with method %s from %s.</p>\n  </body>\n</html>\n' \
  "$REQUEST_METHOD" "$REMOTE_ADDR"
