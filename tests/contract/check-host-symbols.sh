#!/usr/bin/env bash
# Lists what the built plug-in takes from the stand-in host library and fails on anything that
# is not of a class a real host provides: a real host library lacks it, and loading the plug-in
# there fails with an undefined symbol.
# Usage: check-host-symbols.sh PLUGIN HOST_LIBRARY
set -euo pipefail
plugin="$1"
host="$2"

# The classes of the host contract, as they start a demangled name (MockRegistry holds the
# substitutes of MockFactory<T> in our stand-in).
contract='(AbstractProcessingFactory|ProcessingFactory<.*>|BasicPaymentProcessing|BasicSbpProcessing'
contract+='|PaymentProcessingRequest|PaymentProcessingResult|PaymentProcessingContext'
contract+='|CpqrCheckResult|ScanQrParams|sbp::[A-Za-z]+|Config|Session|AbstractDocument'
contract+='|GoodsItem|DocumentCardRecord|DocumentLogic|SimpleFormatter|BcodeParser|DBQueueBroker'
contract+='|tr::Tr|Finally|Singleton<(Config|BcodeParser|Session|DBQueueBroker)>'
contract+='|MockFactory<.*>|MockRegistry|RestClient|Log4Qt::.*)'
# What the compiler adds around a class's own names.
decoration='^(vtable for |typeinfo for |typeinfo name for |VTT for |non-virtual thunk to |virtual thunk to |guard variable for )?'

for file in "$plugin" "$host"; do
    [[ -f "$file" ]] || { echo "no such file: $file" >&2; exit 1; }
done

taken=$(comm -12 <(nm -D --undefined-only "$plugin" | awk '{print $2}' | sort -u) \
                 <(nm -D --defined-only "$host" | awk '{print $3}' | sort -u) | c++filt)
if [[ -z "$taken" ]]; then
    echo "the plug-in takes nothing from $host: it is not linked against it" >&2
    exit 1
fi

foreign=$(grep -Ev "${decoration}${contract}(::|\$| )" <<<"$taken" || true)
echo "taken from the host library: $(wc -l <<<"$taken") symbols"
if [[ -n "$foreign" ]]; then
    echo "not of the host contract:" >&2
    echo "$foreign" >&2
    exit 1
fi
