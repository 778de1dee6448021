<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ru_RU">
<context>
    <name></name>
    <message id="zorvikCpqrNoCpqr">
        <source>Оплата недоступна</source>
        <translation>Payment is not available</translation>
    </message>
    <message id="zorvikCpqrBadServerUrl">
        <source>Неверно задан адрес сервера Зорвик Пэй</source>
        <translation>The Zorvik Pay server address is not set correctly</translation>
    </message>
    <message id="zorvikCpqrPaymentNotRecorded">
        <source>Оплата не выполнена: журнал оплат недоступен</source>
        <translation>Payment not made: the payment journal is unavailable</translation>
    </message>
    <message id="zorvikCpqrReturnNotSettled">
        <source>Операция не отмечена в журнале оплат, повторите ее</source>
        <translation>The operation could not be recorded in the payment journal; repeat it</translation>
    </message>
    <message id="zorvikCpqrReturnNotRecorded">
        <source>Возврат не выполнен: журнал оплат недоступен</source>
        <translation>Return not made: the payment journal is unavailable</translation>
    </message>
    <message id="zorvikCpqrPaymentNotKept">
        <source>Оплата не сохранена в журнале оплат и будет возвращена покупателю</source>
        <translation>The payment could not be recorded in the payment journal and will be returned to the customer</translation>
    </message>
    <message id="zorvikCpqrPaymentDeclined">
        <source>Оплата отклонена</source>
        <translation>Payment declined</translation>
    </message>
    <message id="zorvikCpqrScanTitle">
        <source>Ввод платежного кода</source>
        <translation>Payment code entry</translation>
    </message>
    <message id="zorvikCpqrScanMessage">
        <source>Отсканируйте QR-код из приложения</source>
        <translation>Scan the QR code shown in the customer's app</translation>
    </message>
    <message id="zorvikCpqrScanError">
        <source>Ошибка считывания платежного кода,
повторите сканирование</source>
        <translation>The payment code could not be read,
please scan it again</translation>
    </message>
    <message id="zorvikCpqrCheckMessage">
        <source>Обработка QR-кода Зорвик Пэй</source>
        <translation>Processing the Zorvik Pay QR code</translation>
    </message>
    <message id="zorvikCpqrUnknownError">
        <source>Неизвестная ошибка</source>
        <translation>Unknown error</translation>
    </message>
    <message id="requestIncorrectAnswer">
        <source>Некорректный ответ от сервера</source>
        <translation>Invalid answer from the server</translation>
    </message>
    <message id="restClientConnectionFailed">
        <source>Нет связи с сервером</source>
        <translation>No connection to the server</translation>
    </message>
    <message id="restClientTimeout">
        <source>Превышено время ожидания ответа сервера</source>
        <translation>The server did not answer in time</translation>
    </message>
    <message id="restClientConnectionBroken">
        <source>Соединение с сервером прервано</source>
        <translation>The connection to the server broke</translation>
    </message>
    <message id="restClientResponseTooLarge">
        <source>Слишком большой ответ сервера</source>
        <translation>The server's answer is too large</translation>
    </message>
    <message id="restClientHttpError">
        <source>Ошибка сервера (HTTP %1)</source>
        <translation>Server error (HTTP %1)</translation>
    </message>
    <message id="restClientTlsError">
        <source>Ошибка защищённого соединения с сервером</source>
        <translation>Secure connection to the server failed</translation>
    </message>
    <message id="restClientError">
        <source>Ошибка обмена с сервером</source>
        <translation>Exchange with the server failed</translation>
    </message>
    <message id="processingOperationUnsupported">
        <source>Операция не поддерживается</source>
        <translation>Operation not supported</translation>
    </message>
    <message id="markingCodeScanButtonOk">
        <source>Без маркировки</source>
        <translation>No marking</translation>
    </message>
    <message id="cancelButton">
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
    <message id="zorvikTillMessage">
        <source>Сообщение кассы</source>
        <translation>Till message</translation>
    </message>
</context>
</TS>
